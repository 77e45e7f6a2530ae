// CNG's SHA-256 (bcrypt.dll): part of every Windows since Vista, so the
// program still imports system DLLs alone.

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <stdexcept>

#include "box/sha256.h"

namespace zep {
namespace {

void Require(NTSTATUS status, const char* what) {
  // Only a broken system fails these; nothing in the input can.
  if (status < 0) throw std::runtime_error(std::string("SHA-256 (CNG): ") + what + " failed");
}

}  // namespace

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  void Start() { Require(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash"); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  Require(BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
          "BCryptOpenAlgorithmProvider");
  state_->Start();
}

Sha256::~Sha256() {
  Settle();
  if (state_->hash) BCryptDestroyHash(state_->hash);
  if (state_->algorithm) BCryptCloseAlgorithmProvider(state_->algorithm, 0);
}

void Sha256::Absorb(std::span<const std::uint8_t> bytes) {
  // CNG takes at most 4 GiB - 1 per call.
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
    Require(BCryptHashData(state_->hash, const_cast<PUCHAR>(bytes.data()), static_cast<ULONG>(n), 0),
            "BCryptHashData");
    bytes = bytes.subspan(n);
  }
}

std::string Sha256::Finish() {
  std::array<std::uint8_t, 32> digest{};
  Require(BCryptFinishHash(state_->hash, digest.data(), static_cast<ULONG>(digest.size()), 0), "BCryptFinishHash");
  BCryptDestroyHash(state_->hash);
  state_->hash = nullptr;
  state_->Start();
  return HexOf(digest);
}

}  // namespace zep
