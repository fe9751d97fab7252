// A minimal JSON reader for ffprobe's output in the encoder tests.
#pragma once

#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace enctest {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's value, or a number's source text
  std::vector<Json> items;
  std::map<std::string, Json> fields;

  // obj["key"]: the field, or a Null value when it is missing or this is no object.
  const Json& operator[](const std::string& key) const {
    static const Json null;
    auto it = fields.find(key);
    return it == fields.end() ? null : it->second;
  }
  const Json& operator[](size_t i) const {
    static const Json null;
    return i < items.size() ? items[i] : null;
  }
  bool has(const std::string& key) const { return fields.count(key) != 0; }
  // A number, or a string holding one (ffprobe quotes many numbers).
  double num() const { return kind == Kind::Number ? number : std::strtod(text.c_str(), nullptr); }
};

class JsonParser {
 public:
  explicit JsonParser(const std::string& s) : s_(s) {}
  Json Parse() {
    Json v = Value();
    Ws();
    if (p_ != s_.size()) throw std::runtime_error("trailing JSON text");
    return v;
  }

 private:
  void Ws() {
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\n' || s_[p_] == '\r' || s_[p_] == '\t')) ++p_;
  }
  char Peek() {
    Ws();
    if (p_ >= s_.size()) throw std::runtime_error("JSON ends early");
    return s_[p_];
  }
  void Expect(char c) {
    if (Peek() != c) throw std::runtime_error(std::string("JSON: expected ") + c);
    ++p_;
  }
  static void Utf8(std::string& out, unsigned cp) {
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  unsigned Hex4() {
    if (p_ + 4 > s_.size()) throw std::runtime_error("JSON: bad \\u");
    const unsigned v = unsigned(std::stoul(s_.substr(p_, 4), nullptr, 16));
    p_ += 4;
    return v;
  }
  std::string String() {
    Expect('"');
    std::string out;
    while (p_ < s_.size() && s_[p_] != '"') {
      char c = s_[p_++];
      if (c != '\\') {
        out += c;
        continue;
      }
      if (p_ >= s_.size()) break;
      c = s_[p_++];
      switch (c) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          unsigned cp = Hex4();
          if (cp >= 0xD800 && cp < 0xDC00 && s_.compare(p_, 2, "\\u") == 0) {
            p_ += 2;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
          }
          Utf8(out, cp);
          break;
        }
        default: out += c;  // " \ /
      }
    }
    if (p_ >= s_.size()) throw std::runtime_error("JSON: unterminated string");
    ++p_;
    return out;
  }
  Json Value() {
    Json v;
    const char c = Peek();
    if (c == '{') {
      v.kind = Json::Kind::Object;
      ++p_;
      if (Peek() == '}') return ++p_, v;
      for (;;) {
        std::string key = String();
        Expect(':');
        v.fields[key] = Value();
        if (Peek() == ',') {
          ++p_;
          continue;
        }
        Expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.kind = Json::Kind::Array;
      ++p_;
      if (Peek() == ']') return ++p_, v;
      for (;;) {
        v.items.push_back(Value());
        if (Peek() == ',') {
          ++p_;
          continue;
        }
        Expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.kind = Json::Kind::String;
      v.text = String();
      return v;
    }
    if (s_.compare(p_, 4, "true") == 0) return p_ += 4, v.kind = Json::Kind::Bool, v.boolean = true, v;
    if (s_.compare(p_, 5, "false") == 0) return p_ += 5, v.kind = Json::Kind::Bool, v;
    if (s_.compare(p_, 4, "null") == 0) return p_ += 4, v;
    const size_t start = p_;
    while (p_ < s_.size() && std::string("+-0123456789.eE").find(s_[p_]) != std::string::npos) ++p_;
    if (start == p_) throw std::runtime_error("JSON: unexpected character");
    v.kind = Json::Kind::Number;
    v.text = s_.substr(start, p_ - start);
    v.number = std::strtod(v.text.c_str(), nullptr);
    return v;
  }

  const std::string& s_;
  size_t p_ = 0;
};

inline Json ParseJson(const std::string& s) { return JsonParser(s).Parse(); }

}  // namespace enctest
