// How the web view's server shows a page that it is the server the page came
// from, before the page sends its token: the page holds a key it was given
// with the page and asks for the HMAC-SHA-256 of a fresh nonce under it.
// Someone else listening on the port later does not know the key, and a
// proof for one nonce is no proof for another.
#ifndef LUMO_SERVER_WEB_WEB_PROOF_H
#define LUMO_SERVER_WEB_WEB_PROOF_H

#include <cstddef>
#include <string>

namespace lumo::server {

// SHA-256 of the bytes, as 32 bytes.
std::string sha256(const std::string& bytes);
// The bytes in lowercase hexadecimal, two digits each.
std::string hex_of(const unsigned char* bytes, size_t n);

// HMAC-SHA-256 (RFC 2104) of the message under the key, in lowercase hexadecimal.
std::string hmac_sha256_hex(const std::string& key, const std::string& message);
// The server's answer to a page's nonce ("" when the nonce is not 16 to 128
// hexadecimal digits): HMAC-SHA-256 of "lumoview NONCE" under the key.
std::string web_proof(const std::string& key, const std::string& nonce);

}  // namespace lumo::server

#endif
