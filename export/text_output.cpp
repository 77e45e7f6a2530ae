#include "export/text_output.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdio>
#include <filesystem>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zep {

void AppendUtf8(std::string& out, unsigned char c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string RecordStem(const std::string& recordFile) {
  const std::string ext = std::filesystem::path(recordFile).extension().string();
  const bool zep = ext.size() == 4 && std::equal(ext.begin(), ext.end(), ".ZEP", [](char a, char b) {
                     return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 32) : a) == b;
                   });
  return zep ? recordFile.substr(0, recordFile.size() - 4) : recordFile;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() * 2);
  for (char c : bytes) AppendUtf8(out, static_cast<unsigned char>(c));
  return out;
}

TextOutput::TextOutput(Sink& con, const std::string& path)
    : con_(con), toStdout_(path.empty() || path == "-") {
  if (!toStdout_) file_ = OutputFile::Create(path);
}

void TextOutput::Flush(bool force) {
  if (!force && text_.size() < (1u << 16)) return;
  if (toStdout_) {
    con_.out.write(text_.data(), static_cast<std::streamsize>(text_.size()));
  } else {
    file_.Write(std::span(reinterpret_cast<const std::uint8_t*>(text_.data()), text_.size()));
  }
  text_.clear();
}

bool TextOutput::Close() {
  Flush(true);
  if (toStdout_) {
    con_.out.flush();
    if (con_.out) return true;
    con_.Report({"", "cannot write to standard output", 0, ProblemKind::kWriteFailed});
    return false;
  }
  if (file_.Close()) return true;
  con_.Report(file_.problem());
  file_.Discard();
  return false;
}

void TextOutput::Discard() {
  text_.clear();
  if (!toStdout_) file_.Discard();
}

bool WouldOverwriteInput(Sink& con, const std::string& out, const std::vector<std::string>& inputs) {
  for (const std::string& in : inputs) {
    std::error_code ec;
    if (!out.empty() && std::filesystem::equivalent(out, in, ec)) {
      con.Report({out, "is one of the files to read; not overwriting it", 0, ProblemKind::kUsage});
      return true;
    }
  }
  return false;
}

std::string StoredGpsText(const PingInfo& p) {
  std::string text = GpsTextOf(p.header.data());
  text.resize(std::min(text.size(), text.find('\0')));
  return text;
}

void AppendInt(std::string& out, std::int64_t v) {
  std::array<char, 24> digits{};
  const auto r = std::to_chars(digits.data(), digits.data() + digits.size(), v);
  out.append(digits.data(), r.ptr);
}

void AppendCsvField(std::string& out, std::string_view utf8) {
  // A loop of plain compares: find_first_of looks each byte up in the set.
  if (std::none_of(utf8.begin(), utf8.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; })) {
    out += utf8;
    return;
  }
  out += '"';
  for (char c : utf8) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

namespace {

bool JsonEscaped(unsigned char u, bool inScript) {
  return u == '"' || u == '\\' || u < 0x20 || u == 0x7F || (inScript && (u == '<' || u == '>' || u == '&'));
}

// The first byte from i on that JsonEscaped, or the end. Sixteen at a time
// (SSE2, which every x86-64 has): the viewer's scripts pass some tens of MB
// through here, nearly all of it plain.
std::size_t NextJsonEscaped(std::string_view s, std::size_t i, bool inScript) {
#if defined(__SSE2__)
  const auto is = [](__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
  for (; i + 16 <= s.size(); i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data() + i));
    const __m128i control = is(_mm_max_epu8(v, _mm_set1_epi8(0x1F)), 0x1F);  // 0x1F and below
    __m128i hit = _mm_or_si128(_mm_or_si128(control, is(v, 0x7F)), _mm_or_si128(is(v, '"'), is(v, '\\')));
    if (inScript) hit = _mm_or_si128(hit, _mm_or_si128(_mm_or_si128(is(v, '<'), is(v, '>')), is(v, '&')));
    if (const int bits = _mm_movemask_epi8(hit)) return i + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(bits)));
  }
#endif
  while (i < s.size() && !JsonEscaped(static_cast<unsigned char>(s[i]), inScript)) ++i;
  return i;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view utf8, bool inScript) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  // Runs of bytes that need no escape are copied whole.
  std::size_t from = 0;
  for (std::size_t i = NextJsonEscaped(utf8, 0, inScript); i < utf8.size(); i = NextJsonEscaped(utf8, i + 1, inScript)) {
    const char c = utf8[i];
    const auto u = static_cast<unsigned char>(c);
    out.append(utf8, from, i - from);
    from = i + 1;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else {
      out += "\\u00";
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  out.append(utf8, from);
  out += '"';
}

void AppendXmlText(std::string& out, std::string_view utf8) {
  for (char c : utf8) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // XML 1.0 has no control characters but tab, line feed and return.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += c;
        else out += "\xEF\xBF\xBD";
    }
  }
}

void RowWriter::Header() {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (i > 0) out_ += ',';
    out_ += keys_[i];
  }
  out_ += '\n';
}

void RowWriter::Begin() {
  field_ = 0;
  if (json_) out_ += '{';
}

void RowWriter::End() { out_ += json_ ? "}\n" : "\n"; }

void RowWriter::Key() {
  if (field_ > 0) out_ += ',';
  if (json_) {
    out_ += '"';
    out_ += keys_[field_];
    out_ += "\":";
  }
  ++field_;
}

void RowWriter::Null() {
  Key();
  if (json_) out_ += "null";
}

void RowWriter::Int(std::int64_t v) {
  Key();
  AppendInt(out_, v);
}

void RowWriter::Bool(bool v) {
  Key();
  out_ += v ? "true" : "false";
}

void RowWriter::Number(std::string_view text) {
  Key();
  out_ += text;
}

void RowWriter::Text(std::string_view utf8) {
  Key();
  if (json_) AppendJsonString(out_, utf8);
  else AppendCsvField(out_, utf8);
}

Outcome WalkCounts::Status() const {
  if (files > 0 && unopened == files) return Outcome::kRefused;
  return unopened + notWhole == 0 ? Outcome::kDone : Outcome::kPartly;
}

void WalkAndReport(Sink& con, const std::string& path, const PingVisitor& visit, WalkCounts& counts,
                   const PingSampleVisitor& visitSamples) {
  ++counts.files;
  const RecordWalk w = visitSamples ? WalkRecordFileSamples(path, visitSamples) : WalkRecordFile(path, visit);
  if (std::optional<Problem> unusable = w.Unusable(path)) {
    ++counts.unopened;
    con.Report(*unusable);
  } else if (!w.Whole()) {
    ++counts.notWhole;
    con.Report({path, "not whole: " + w.NotWholeText(), 0, w.NotWholeKind()});
  }
}

Outcome FinishOutput(TextOutput& out, const WalkCounts& counts) {
  if (counts.Status() == Outcome::kRefused) {
    out.Discard();
    return Outcome::kRefused;
  }
  if (!out.Close()) return Outcome::kPartly;
  return counts.Status();
}

std::string Href(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
        std::string_view("-._~/").find(c) != std::string_view::npos) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

std::string ClockText(std::int64_t seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02d:%02d", static_cast<long long>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  return text;
}

std::string JsonText(const nlohmann::ordered_json& doc) { return doc.dump(2, ' ', false, kReplaceInvalid) + '\n'; }

std::size_t DisplayWidth(std::string_view utf8) {
  return static_cast<std::size_t>(
      std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

void WriteTable(std::ostream& out, const std::vector<TableColumn>& columns,
                const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const TableColumn& c : columns) widths.push_back(DisplayWidth(c.heading));
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));

  auto line = [&](auto cellAt) {
    std::string text;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const std::string cell = cellAt(i);
      const std::string pad(widths[i] - DisplayWidth(cell), ' ');
      if (i > 0) text += "  ";
      text += columns[i].rightAligned ? pad + cell : cell + pad;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  };
  line([&](std::size_t i) { return columns[i].heading; });
  for (const auto& row : rows) line([&](std::size_t i) { return i < row.size() ? row[i] : std::string(); });
}

}  // namespace zep
