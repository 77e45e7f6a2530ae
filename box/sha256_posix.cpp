// nettle's SHA-256: a small C library with a plain init/update/digest
// interface, no global set-up and no deprecated layers in between (OpenSSL 3
// deprecates its direct SHA256_* calls in favour of EVP objects). It uses
// the CPU's SHA instructions where there are any.

#include <nettle/sha2.h>

#include "box/sha256.h"

namespace zep {

struct Sha256::State {
  sha256_ctx ctx;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { sha256_init(&state_->ctx); }
Sha256::~Sha256() { Settle(); }

void Sha256::Absorb(std::span<const std::uint8_t> bytes) { sha256_update(&state_->ctx, bytes.size(), bytes.data()); }

std::string Sha256::Finish() {
  std::array<std::uint8_t, SHA256_DIGEST_SIZE> digest{};
  sha256_digest(&state_->ctx, digest.size(), digest.data());  // also starts the hash afresh
  return HexOf(digest);
}

}  // namespace zep
