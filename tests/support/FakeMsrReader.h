#pragma once

#include "platform/MsrReader.h"

#include <atomic>
#include <map>
#include <stdexcept>

// Registers held in memory (tests). Reads can be made to fail.
class FakeMsrReader : public MsrReader
{
public:
    bool open() override
    {
        ++openCount;
        return available;
    }
    void close() override { ++closeCount; }
    bool isMsr() override
    {
        ++isMsrCalls;
        if (throwOnIsMsr)
            throw std::runtime_error("msr");
        return available;
    }
    std::optional<quint64> read(quint32 index) override
    {
        ++readCalls;
        if (throwOnRead)
            throw std::runtime_error("msr");
        const auto it = registers.find(index);
        if (!available || failReads || it == registers.end())
            return std::nullopt;
        return it->second;
    }

    std::map<quint32, quint64> registers;
    bool available = true;
    bool failReads = false;
    bool throwOnIsMsr = false;
    bool throwOnRead = false;
    int openCount = 0;
    int closeCount = 0;
    int isMsrCalls = 0;
    int readCalls = 0;
};

// Register access that stops answering once closed, and notes how many
// workers still counted as running when it was.
struct ClosingMsrReader : FakeMsrReader
{
    const std::atomic<qint32> *active = nullptr;
    std::atomic<bool> closed{false};
    qint32 activeAtClose = -1;

    void close() override
    {
        FakeMsrReader::close();
        closed = true;
        activeAtClose = active ? active->load() : -1;
    }
    bool isMsr() override { return !closed && FakeMsrReader::isMsr(); }
};
