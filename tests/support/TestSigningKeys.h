// A key pair of the tests' own for signed downloads, made from a fixed seed
// so that every run signs alike. The program trusts only the release key
// compiled into it; tests hand this public half to what they check.
#pragma once

#include <sodium.h>

#include <algorithm>
#include <stdexcept>
#include <string>

#include "platform/core/DownloadCheck.h"

namespace ond::test {

struct TTestKeys {
  TSigningKey Public{};
  unsigned char Secret[crypto_sign_SECRETKEYBYTES]{};
  explicit TTestKeys(unsigned char seedByte = 7) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium does not start");
    unsigned char seed[crypto_sign_SEEDBYTES];
    std::fill(std::begin(seed), std::end(seed), seedByte);
    crypto_sign_seed_keypair(Public.data(), Secret, seed);
  }
  std::string Sign(const std::string& bytes) const {
    std::string sig(crypto_sign_BYTES, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(sig.data()), nullptr,
                         reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), Secret);
    return sig;
  }
};

}  // namespace ond::test
