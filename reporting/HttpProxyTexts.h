#pragma once

// Fixed texts of the station's exchange with an HTTP proxy and of its log
// proxylog.txt (all ASCII).
namespace HttpProxyTexts {

inline constexpr char Method[] = "GET";
inline constexpr char ClientNonce[] = "a3c5e7f9b1d20486";
inline constexpr char HttpVersion[] = " HTTP/1.1";
inline constexpr char SchemeAbsolute[] = "HTTP://";
inline constexpr char HostHeader[] = " Host: ";
inline constexpr char BasicHeader[] = " Proxy-Authorization: Basic ";
inline constexpr char DigestHeader[] = " Proxy-Authorization: Digest ";
inline constexpr char Uri[] = "/";
inline constexpr char NonceCount[] = "00000001";
inline constexpr char QopAuth[] = "auth";
inline constexpr char DigestMarker[] = "md5";

// What the replies are searched for.
inline constexpr char ReplyOk[] = "200 OK";          // upper-cased reply
inline constexpr char ReplyForbidden[] = "403 ";     // upper-cased reply
inline constexpr char ReplyAuthRequired[] = "407 ";  // upper-cased reply
inline constexpr char ChallengeDigest[] = "digest";  // lower-cased reply
inline constexpr char ChallengeMd5[] = "\"md5\"";    // lower-cased reply

// proxylog.txt
inline constexpr char LogFileName[] = "proxylog.txt";
inline constexpr int LogRuleWidth = 84;
inline constexpr char LogRequest[] = "-->REQUEST:";
inline constexpr char LogResponse[] = "<--RESPONSE:";
inline constexpr char LogRequest2[] = "===>REQUEST2:";
inline constexpr char LogResponse2[] = "<===RESPONSE:";
inline constexpr char LogAlgorithm[] = "algorithm=";
inline constexpr char LogRealm[] = "realm=";
inline constexpr char LogNonce[] = "nonce=";
inline constexpr char LogOpaque[] = "opaque=";
inline constexpr char LogQop[] = "qop=";
inline constexpr char LogA1[] = "A1=";
inline constexpr char LogA2[] = "A2=";
inline constexpr char LogHA1[] = "H(A1)=";
inline constexpr char LogHA2[] = "H(A2)=";
inline constexpr char LogResp[] = "Resp=";
// Stands for the password in the log's A1 line and for the Basic
// credentials in the logged requests.
inline constexpr char LogPasswordMask[] = "*****";

} // namespace HttpProxyTexts
