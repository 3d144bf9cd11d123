// kibconv as a program: reads the input, converts it, writes the record
// whole (a temporary name, then a rename) or not at all.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "convert/convert.hpp"
#include "convert/util.hpp"

namespace convert {
namespace {

using detail::refuse;

std::string readInput(const Options& o) {
  std::error_code ec;
  if (std::filesystem::exists(o.input, ec) && !std::filesystem::is_regular_file(o.input, ec))
    refuse(o.input, "is not a regular file");
  std::ifstream in(o.input, std::ios::binary);
  if (!in) refuse(o.input, std::string("cannot be opened: ") + std::strerror(errno));
  std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (std::filesystem::equivalent(o.input, o.output, ec))
    refuse(o.output, "is the input file; choose another output name");
  return contents;
}

ReadOptions readOptions(const Options& o) {
  ReadOptions ro;
  ro.dt = o.dt;
  ro.columns = o.columns;
  ro.channel = o.channel;
  ro.countsPerUnit = o.countsPerUnit;
  ro.stationXml = o.stationXml;
  ro.sensitivity = o.sensitivity;
  ro.allowTruncated = o.allowTruncated;
  if (ro.countsPerUnit || ro.stationXml) ro.unit = o.inputUnit;
  return ro;
}

// The record under a temporary name beside the output, renamed into place.
bool writeWhole(const std::string& path, const std::string& text, std::ostream& err) {
  const std::string temporary = path + ".kibconv-partial";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (file) file << text;
    if (file) file.close();
    if (!file) {
      err << "kibconv: " << path << ": cannot be written: " << std::strerror(errno) << '\n';
      std::error_code ec;
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::error_code ec;
  std::filesystem::rename(temporary, path, ec);
  if (ec) {
    err << "kibconv: " << path << ": cannot be written: " << ec.message() << '\n';
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace

int kibconv(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
  Options o;
  Conversion c;
  try {
    o = parseArguments(args);
    if (o.help) {
      out << helpText();
      return 0;
    }
    const std::string contents = readInput(o);
    c = convertTrace(readTrace(contents, o.format, o.input, readOptions(o)), o);
  } catch (const textio::InputRejected& e) {
    err << "kibconv: " << e.message << '\n';
    return 2;
  }
  for (const auto& w : c.warnings) err << "kibconv: warning: " << w << '\n';
  for (const auto& m : c.messages) out << "kibconv: " << m << '\n';
  return writeWhole(o.output, c.text, err) ? 0 : 1;
}

}  // namespace convert
