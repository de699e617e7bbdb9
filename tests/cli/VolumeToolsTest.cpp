// The command line's ways into other tools: the body file for a timeline,
// the hash manifests of a save and its DFXML report.

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/Text.h"
#include "save/Hashes.h"
#include "support/CliRunner.h"

namespace ov {
namespace {

using test::ShellQuote;

class VolumeTools : public test::CliFixture {};

constexpr const char* kVolume = R"({
  "partitions": [ { "type": "nss", "sections": [ { "pool": "P", "sectors": "2MiB" } ] } ],
  "pools": [ { "name": "P", "volumes": [ { "name": "V", "items": [
      { "folder": "Letters", "time": "2003-11-02 14:00:00", "items": [
        { "file": "bank.doc", "document": "word", "size": "20KiB", "time": "2004-03-15 09:30:00" },
        { "file": "a|b.txt", "text": "piped", "time": "2005-06-07 08:09:10" },
        { "folder": "Old", "items": [ { "file": "1999.txt", "text": "old", "time": "1999-12-31 23:59:59" } ] } ] },
      { "file": "none.txt", "text": "no stamp", "attributes": false },
      { "file": "caf\u00e9.txt", "text": "menu" } ] } ] } ]
})";

std::vector<std::string> Split(const std::string& text, char by) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, by)) parts.push_back(part);
  if (!text.empty() && text.back() == by) parts.push_back("");
  return parts;
}

TEST_F(VolumeTools, BodyFileHasALinePerFolderAndFileWithTheRecordedStamp) {
  Build(kVolume);
  const auto r = Exec("ls --recursive --bodyfile " + Disk() + " --pool P --volume V");
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto& vol = *manifest.FindVolume("P", "V");
  std::map<std::string, std::vector<std::string>> byName;
  for (const auto& line : Split(r.out, '\n')) {
    if (line.empty()) continue;
    const auto fields = Split(line, '|');
    ASSERT_EQ(fields.size(), 11u) << line;
    byName[fields[1]] = fields;
  }
  EXPECT_EQ(byName.size(), vol.files.size() + vol.folders.size());
  const auto& bank = byName["/Letters/bank.doc"];
  ASSERT_FALSE(bank.empty());
  EXPECT_EQ(bank[0], "0");
  EXPECT_EQ(bank[3], "r/rr--r--r--");
  EXPECT_EQ(bank[6], "20480");
  EXPECT_EQ(bank[8], "1079343000");  // mtime: 2004-03-15 09:30:00 UTC
  EXPECT_EQ(bank[7] + bank[9] + bank[10], "000");
  const auto& letters = byName["/Letters"];
  ASSERT_FALSE(letters.empty());
  EXPECT_EQ(letters[3], "d/dr-xr-xr-x");
  EXPECT_EQ(letters[6], "0");
  EXPECT_EQ(byName["/none.txt"].at(8), "0");               // no stamp: unknown
  EXPECT_TRUE(byName.count("/Letters/a_b.txt"));           // "|" would split the line
  EXPECT_TRUE(byName.count("/Letters/Old/1999.txt"));
  EXPECT_TRUE(byName.count("/caf\xc3\xa9.txt"));           // as the save names it
  for (const auto& f : vol.files) {
    if (f.name == "bank.doc") {
      EXPECT_EQ(bank[2], std::to_string(f.id));
    }
  }
  // One file, and one folder without its sub-folders.
  const auto one = Exec("ls --bodyfile " + Disk() + " --pool P --volume V /Letters/bank.doc");
  ASSERT_EQ(one.exit, 0) << one.err;
  EXPECT_EQ(one.out.rfind("0|/Letters/bank.doc|", 0), 0u) << one.out;
  EXPECT_EQ(Split(one.out, '\n').size(), 2u);
  const auto folder = Exec("ls --bodyfile " + Disk() + " --pool P --volume V /Letters");
  EXPECT_EQ(folder.out.find("1999.txt"), std::string::npos);
  EXPECT_NE(folder.out.find("|/Letters/Old|"), std::string::npos);
}

TEST_F(VolumeTools, MactimeReadsTheBodyFile) {
  if (!test::HaveProgram("mactime")) GTEST_SKIP() << "mactime (Debian's sleuthkit) is not installed";
  Build(kVolume);
  const auto r = Exec("ls --recursive --bodyfile " + Disk() + " --pool P --volume V > body.txt");
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto timeline = Shell("mactime -b body.txt -d -y -z UTC");
  ASSERT_EQ(timeline.exit, 0) << timeline.err;
  // Day and time, size, the m... activity and the name, one row each.
  EXPECT_NE(timeline.out.find("1999-12-31T23:59:59Z,3,m...,r/rr--r--r--,0,0,"), std::string::npos) << timeline.out;
  EXPECT_NE(timeline.out.find("2004-03-15T09:30:00Z,20480,m...,r/rr--r--r--,0,0,"), std::string::npos);
  EXPECT_NE(timeline.out.find("/Letters/bank.doc"), std::string::npos);
  EXPECT_NE(timeline.out.find("2003-11-02T14:00:00Z,0,m...,d/dr-xr-xr-x,0,0,"), std::string::npos);
  EXPECT_NE(timeline.out.find("/Letters/a_b.txt"), std::string::npos);
}

// Two segments, the later one first on the disk: files cross from one to
// the other, so their bytes come from two places.
constexpr const char* kTwoSegments = R"({
  "partitions": [ { "type": "nss", "sections": [
      { "pool": "DATA", "segment": 1, "sectors": "2MiB", "dataOffset": 160 },
      { "pool": "DATA", "segment": 0, "sectors": "1MiB" } ] } ],
  "pools": [ { "name": "DATA", "volumes": [ { "name": "VOL1", "items": [
      { "folder": "Letters", "items": [
        { "file": "bank.doc", "document": "word", "size": "300KiB" },
        { "file": "back\\slash.txt", "text": "odd name" },
        { "folder": "Old", "items": [ { "file": "1999.txt", "text": "old", "time": "1999-12-31 23:59:59" } ] } ] },
      { "file": "SHA256SUMS", "text": "the volume's own file" },
      { "file": "big.bin", "size": "900KiB", "content": "random", "firstBlock": 200, "crossSegments": true },
      { "file": "caf\u00e9.txt", "text": "menu" } ] } ] } ]
})";

std::string SavedPath(const mkimage::ManifestFile& f) {
  std::string folder = Latin1ToUtf8(f.folder);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  return (folder.empty() ? "" : folder + "/") + Latin1ToUtf8(f.name);
}

TEST_F(VolumeTools, SaveHashesEachFileAsWrittenIntoManifestsThatCoreutilsCheck) {
  Build(kTwoSegments);
  const auto r = Exec("save --json --hash sha256 --hash md5,sha1 " + Disk() + " --pool DATA --volume VOL1 --dest out");
  ASSERT_EQ(r.exit, 0) << r.err;
  const auto j = r.Json();
  const auto& vol = *manifest.FindVolume("DATA", "VOL1");
  // The volume's own SHA256SUMS is saved; the manifest steps aside.
  EXPECT_EQ(j["manifests"], (nlohmann::json{"MD5SUMS", "SHA1SUMS", "SHA256SUMS.ovnss"}));
  EXPECT_EQ(test::ReadFile(dir / "out" / "SHA256SUMS"), "the volume's own file");
  std::map<std::string, nlohmann::json> byPath;
  for (const auto& h : j["hashes"]) byPath[h["path"]] = h;
  ASSERT_EQ(byPath.size(), vol.files.size());
  const std::string sums = test::ReadFile(dir / "out" / "SHA256SUMS.ovnss");
  for (const auto& f : vol.files) {
    const std::string path = SavedPath(f);
    ASSERT_TRUE(byPath.count(path)) << path;
    EXPECT_EQ(byPath[path]["sha256"], f.sha256) << path;
    EXPECT_EQ(byPath[path]["md5"].get<std::string>().size(), 32u);
    EXPECT_EQ(byPath[path]["sha1"].get<std::string>().size(), 40u);
    if (path.find('\\') == std::string::npos) {
      EXPECT_NE(sums.find(f.sha256 + "  " + path + "\n"), std::string::npos) << path;
    }
  }
  if (!test::HaveProgram("sha256sum")) GTEST_SKIP() << "coreutils' sha256sum is not installed";
  for (const char* check : {"sha256sum -c SHA256SUMS.ovnss", "md5sum -c MD5SUMS", "sha1sum -c SHA1SUMS"}) {
    const auto c = Shell("cd out && " + std::string(check));
    EXPECT_EQ(c.exit, 0) << check << "\n" << c.out << c.err;
    EXPECT_NE(c.out.find("back\\slash.txt: OK"), std::string::npos) << c.out;
  }
  // A changed byte is caught.
  std::ofstream(dir / "out" / "Letters" / "Old" / "1999.txt") << "new";
  EXPECT_NE(Shell("cd out && sha256sum -c --quiet SHA256SUMS.ovnss").exit, 0);
}

// The report read back with libxml2: every value by XPath.
class Xml {
public:
  explicit Xml(const std::filesystem::path& file) : doc_(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET)) {
    if (doc_) {
      ctx_ = xmlXPathNewContext(doc_);
      xmlXPathRegisterNs(ctx_, BAD_CAST "d", BAD_CAST "http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML");
    }
  }
  ~Xml() {
    if (ctx_) xmlXPathFreeContext(ctx_);
    if (doc_) xmlFreeDoc(doc_);
  }
  bool ok() const { return doc_ != nullptr; }
  std::string Text(const std::string& xpath) {
    xmlXPathObjectPtr o = xmlXPathEvalExpression(BAD_CAST("string(" + xpath + ")").c_str(), ctx_);
    std::string value = o && o->stringval ? reinterpret_cast<const char*>(o->stringval) : "";
    xmlXPathFreeObject(o);
    return value;
  }

private:
  xmlDocPtr doc_ = nullptr;
  xmlXPathContextPtr ctx_ = nullptr;
};

TEST_F(VolumeTools, DfxmlReportNamesTheSourceAndEachFileWithItsRunsAndHashes) {
  Build(kTwoSegments);
  const auto r = Exec("save --json --hash sha256 --dfxml report.xml " + Disk() + " --pool DATA --volume VOL1 --dest out");
  ASSERT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.Json()["dfxml"], "report.xml");
  Xml x(dir / "report.xml");
  ASSERT_TRUE(x.ok()) << test::ReadFile(dir / "report.xml");
  EXPECT_EQ(x.Text("/d:dfxml/d:source/d:image_filename"), image.string());
  EXPECT_EQ(x.Text("/d:dfxml/d:source/d:image_size"), std::to_string(std::filesystem::file_size(image)));
  EXPECT_EQ(x.Text("/d:dfxml/d:creator/d:program"), "ovnss-cli");
  EXPECT_NE(x.Text("/d:dfxml/d:creator/d:execution_environment/d:command_line").find("--dfxml report.xml"),
            std::string::npos);
  EXPECT_EQ(x.Text("/d:dfxml/d:volume/d:pool_name"), "DATA");
  EXPECT_EQ(x.Text("/d:dfxml/d:volume/d:volume_name"), "VOL1");
  const auto& vol = *manifest.FindVolume("DATA", "VOL1");
  EXPECT_EQ(x.Text("count(//d:fileobject)"), std::to_string(vol.files.size()));
  const std::string imageBytes = test::ReadFile(image);
  bool crossed = false;
  for (const auto& f : vol.files) {
    const std::string path = SavedPath(f);
    const std::string at = "//d:fileobject[d:filename=\"" + path + "\"]";
    ASSERT_EQ(x.Text("count(" + at + ")"), "1") << path;
    EXPECT_EQ(x.Text(at + "/d:filesize"), std::to_string(f.size)) << path;
    EXPECT_EQ(x.Text(at + "/d:inode"), std::to_string(f.id));
    EXPECT_EQ(x.Text(at + "/d:hashdigest[@type='sha256']"), f.sha256) << path;
    if (f.name == "1999.txt") {
      EXPECT_EQ(x.Text(at + "/d:mtime"), "1999-12-31T23:59:59Z");
    }
    // The runs, read from the image in order, give the file's bytes.
    const int runs = std::stoi(x.Text("count(" + at + "/d:byte_runs/d:byte_run)"));
    crossed = crossed || runs > 1;
    std::string bytes;
    for (int i = 1; i <= runs; ++i) {
      const std::string run = at + "/d:byte_runs/d:byte_run[" + std::to_string(i) + "]";
      EXPECT_EQ(std::stoull(x.Text(run + "/@file_offset")), bytes.size());
      bytes += imageBytes.substr(std::stoull(x.Text(run + "/@img_offset")), std::stoull(x.Text(run + "/@len")));
    }
    EXPECT_TRUE(bytes == std::string(f.data.begin(), f.data.end())) << path;
    if (f.size > 0) {
      EXPECT_EQ(std::stoull(x.Text(at + "/d:byte_runs/d:byte_run[1]/@img_offset")), f.diskSector * 512);
    }
  }
  EXPECT_TRUE(crossed) << "no file crosses a segment boundary";
}

TEST(HashManifest, LinesAreWhatCoreutilsWrite) {
  EXPECT_EQ(ManifestLine("ab12", "A/b c.txt"), "ab12  A/b c.txt\n");
  EXPECT_EQ(ManifestLine("ab12", "A/b\\c.txt"), "\\ab12  A/b\\\\c.txt\n");
  MultiHash h({HashKind::Sha256, HashKind::Md5, HashKind::Sha256});
  EXPECT_EQ(h.kinds().size(), 2u);
  const std::string abc = "abc";
  h.Update(std::as_bytes(std::span(abc.data(), abc.size())));
  const auto d = h.Finish();
  EXPECT_EQ(d[static_cast<std::size_t>(HashKind::Md5)], "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(d[static_cast<std::size_t>(HashKind::Sha256)],
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_TRUE(d[static_cast<std::size_t>(HashKind::Sha1)].empty());
  EXPECT_EQ(h.Finish()[static_cast<std::size_t>(HashKind::Md5)], "d41d8cd98f00b204e9800998ecf8427e");  // afresh
  EXPECT_FALSE(ParseHashKind("sha512"));
}

}  // namespace
}  // namespace ov
