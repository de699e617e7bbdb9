#pragma once
// One JSON object written to standard output as it is made, so a listing
// of millions of entries never stands whole in memory. Members are written
// in the order given; an array member's elements one per line.

#include <nlohmann/json.hpp>

#include <ostream>
#include <string_view>

namespace ov::cli {

class JsonStream {
public:
  explicit JsonStream(std::ostream& out) : out_(out) { out_ << "{"; }
  ~JsonStream() { End(); }
  JsonStream(const JsonStream&) = delete;
  JsonStream& operator=(const JsonStream&) = delete;

  // "name": value.
  void Member(std::string_view name, const nlohmann::json& value) {
    Key(name);
    out_ << value.dump();
  }
  // "name": [ ... ] — elements follow through Element until EndArray.
  void BeginArray(std::string_view name) {
    Key(name);
    out_ << "[";
    firstElement_ = true;
  }
  void Element(const nlohmann::json& value) {
    out_ << (firstElement_ ? "\n    " : ",\n    ") << value.dump();
    firstElement_ = false;
  }
  void EndArray() { out_ << (firstElement_ ? "]" : "\n  ]"); }
  // Closes the object; called by the destructor when not called before.
  void End() {
    if (ended_) return;
    ended_ = true;
    out_ << (firstMember_ ? "}" : "\n}") << "\n" << std::flush;
  }

private:
  void Key(std::string_view name) {
    out_ << (firstMember_ ? "\n  " : ",\n  ") << nlohmann::json(name).dump() << ": ";
    firstMember_ = false;
  }
  std::ostream& out_;
  bool firstMember_ = true;
  bool firstElement_ = true;
  bool ended_ = false;
};

}  // namespace ov::cli
