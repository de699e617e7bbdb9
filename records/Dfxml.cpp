#include "records/Dfxml.h"

#include <ctime>
#include <ostream>

#include "disk/Device.h"
#include "save/FileRuns.h"

namespace ov {

std::string IsoTime(std::int64_t seconds) {
  if (seconds == 0) return {};
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (!::gmtime_r(&t, &tm)) return {};
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (ch) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : ch);
    }
  }
  return out;
}

namespace {

std::string Element(std::string_view name, std::string_view value, std::string_view indent) {
  return std::string(indent) + "<" + std::string(name) + ">" + XmlEscape(value) + "</" + std::string(name) + ">\n";
}

}  // namespace

void WriteDfxmlReport(std::ostream& out, const DfxmlRun& run, const PoolInfo& pool,
                      const std::vector<SavedFile>& files, const std::vector<HashKind>& kinds) {
  std::string x = "<?xml version='1.0' encoding='UTF-8'?>\n";
  x += "<dfxml xmloutputversion='1.0' version='1.0' xmlns='http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML'"
       " xmlns:dc='http://purl.org/dc/elements/1.1/'>\n";
  x += "  <metadata>\n    <dc:type>Disk Image</dc:type>\n  </metadata>\n";
  x += "  <creator version='1.0'>\n";
  x += Element("program", run.program, "    ");
  x += Element("version", run.version, "    ");
  x += "    <execution_environment>\n";
  x += Element("command_line", run.commandLine, "      ");
  x += Element("start_time", run.startTime, "      ");
  x += "    </execution_environment>\n  </creator>\n";
  x += "  <source>\n";
  x += Element("image_filename", run.imagePath, "    ");
  x += Element("sectorsize", std::to_string(kSectorSize), "    ");
  x += Element("image_size", std::to_string(run.imageSectors * kSectorSize), "    ");
  x += "  </source>\n";
  x += "  <volume>\n";
  x += Element("ftype_str", "NSS", "    ");
  x += Element("block_size", "4096", "    ");
  x += Element("pool_name", run.poolName, "    ");
  x += Element("volume_name", run.volumeName, "    ");
  out << x;
  for (const SavedFile& f : files) {
    const auto runs = FileDiskRuns(pool, f.node);
    x = "    <fileobject>\n";
    x += Element("filename", f.relativePath, "      ");
    x += Element("filesize", std::to_string(runs ? SavedLength(*runs) : 0), "      ");
    x += Element("name_type", "r", "      ");
    x += Element("inode", std::to_string(f.node.objectId), "      ");
    if (const std::string m = IsoTime(f.node.time); !m.empty()) x += Element("mtime", m, "      ");
    x += "      <byte_runs>\n";
    if (runs) {
      for (const DiskRun& r : *runs) {
        x += "        <byte_run file_offset='" + std::to_string(r.fileOffset) + "' img_offset='" +
             std::to_string(r.diskSector * kSectorSize) + "' len='" + std::to_string(r.bytes) + "'/>\n";
      }
    }
    x += "      </byte_runs>\n";
    for (HashKind k : kinds) {
      x += "      <hashdigest type='" + std::string(HashKindName(k)) + "'>" + f.digests[static_cast<std::size_t>(k)] +
           "</hashdigest>\n";
    }
    x += "    </fileobject>\n";
    out << x;
  }
  out << "  </volume>\n</dfxml>\n";
}

}  // namespace ov
