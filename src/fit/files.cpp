#include "fit/files.hpp"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace fit {
namespace {

namespace fs = std::filesystem;

std::string failure(const std::string& what, const fs::path& p) {
  return "cannot " + what + " " + p.string() + ": " + std::strerror(errno);
}

// Writes every byte to `fd`, then syncs it: true on success.
bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = EIO;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return ::fsync(fd) == 0;
}

class Sha256 {
 public:
  Sha256() : ctx_(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
    if (!ctx_ || EVP_DigestInit_ex(ctx_.get(), EVP_sha256(), nullptr) != 1)
      throw std::runtime_error("the SHA-256 digest is not available");
  }
  void add(const char* data, std::size_t n) { EVP_DigestUpdate(ctx_.get(), data, n); }
  std::string hex() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(ctx_.get(), digest, &size);
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (unsigned i = 0; i < size; ++i) {
      s += kDigits[digest[i] >> 4];
      s += kDigits[digest[i] & 15];
    }
    return s;
  }

 private:
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx_;
};

}  // namespace

fs::path buildingName(const fs::path& final) { return final.string() + ".tmp"; }

void writeWhole(const fs::path& file, std::string_view bytes) {
  const fs::path temp = buildingName(file);
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) throw std::runtime_error(failure("write", temp));
  int error = writeAll(fd, bytes) ? 0 : errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    errno = error;
    throw std::runtime_error(failure("write", temp));
  }
  if (std::rename(temp.c_str(), file.c_str()) != 0) {
    const std::string message = failure("rename " + temp.string() + " to", file);
    ::unlink(temp.c_str());
    throw std::runtime_error(message);
  }
}

void replaceFolder(const fs::path& built, const fs::path& target) {
  // A folder cannot be renamed over a full one: the old one steps aside first.
  const fs::path old = target.string() + ".old";
  std::error_code ec;
  fs::remove_all(old, ec);
  if (fs::exists(target)) fs::rename(target, old);
  fs::rename(built, target);
  fs::remove_all(old, ec);
}

std::string fileSha256(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string() + " for its digest: " + std::strerror(errno));
  Sha256 h;
  char block[1 << 16];
  while (in.read(block, sizeof block) || in.gcount() > 0) h.add(block, static_cast<std::size_t>(in.gcount()));
  if (in.bad()) throw std::runtime_error("cannot read " + file.string() + " for its digest");
  return h.hex();
}

std::string sha256(std::string_view bytes) {
  Sha256 h;
  h.add(bytes.data(), bytes.size());
  return h.hex();
}

}  // namespace fit
