#include "report/files.hpp"

#include <fstream>
#include <system_error>

#include "report/report.hpp"

namespace report {

void makeFolder(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec || !std::filesystem::is_directory(dir))
    throw WriteError("cannot create the folder " + dir.string() +
                     (ec ? ": " + ec.message() : ": a file of that name is in the way") +
                     "; give a folder you may write to");
}

void writeFile(const std::filesystem::path& dir, const std::string& name, std::string_view bytes) {
  const std::filesystem::path file = dir / name;
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (out) out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw WriteError("cannot write " + file.string() + " in the folder " + dir.string() +
                     "; give a folder you may write to");
}

}  // namespace report
