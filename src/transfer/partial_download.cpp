#include "transfer/partial_download.h"

#include <array>

#include "transfer/http_response.h"

namespace vexa {
namespace {

constexpr std::string_view kFormat = "vexa partial 1";
constexpr std::array<std::string_view, 6> kFields = {"url",    "validator", "total",
                                                     "length", "kept",      "headers"};

void AppendEscaped(std::string& out, TextView value) {
  for (const char16_t c : value) {
    if (c >= 0x20 && c < 0x7F && c != u'\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\u" + ToUtf8(HexText(c, 4));
    }
  }
}

std::optional<Text> Unescaped(std::string_view value) {
  Text text;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c < 0x20 || c >= 0x7F) return std::nullopt;
    if (c != '\\') {
      text += static_cast<char16_t>(c);
      continue;
    }
    if (value.substr(i + 1, 1) != "u" || i + 6 > value.size()) return std::nullopt;
    char16_t unit = 0;
    for (const char digit : value.substr(i + 2, 4)) {
      const int nibble = digit >= '0' && digit <= '9'   ? digit - '0'
                         : digit >= 'A' && digit <= 'F' ? digit - 'A' + 10
                                                        : -1;
      if (nibble < 0) return std::nullopt;
      unit = static_cast<char16_t>(unit * 16 + nibble);
    }
    text += unit;
    i += 5;
  }
  return text;
}

}  // namespace

std::string RecordBytes(const PartialRecord& record) {
  std::string bytes(kFormat);
  bytes += '\n';
  const Text values[] = {record.url,
                         record.validator,
                         DecimalText(record.total),
                         DecimalText(record.length),
                         DecimalText(record.keptAt),
                         record.headers};
  for (std::size_t i = 0; i < kFields.size(); ++i) {
    bytes += kFields[i];
    bytes += ' ';
    AppendEscaped(bytes, values[i]);
    bytes += '\n';
  }
  return bytes;
}

std::optional<PartialRecord> ParseRecord(std::string_view bytes) {
  std::array<Text, kFields.size()> values;
  std::size_t start = 0;
  for (std::size_t line = 0; line <= kFields.size(); ++line) {
    const std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) return std::nullopt;
    const std::string_view text = bytes.substr(start, end - start);
    start = end + 1;
    if (line == 0) {
      if (text != kFormat) return std::nullopt;
      continue;
    }
    const std::string_view name = kFields[line - 1];
    if (text.substr(0, name.size()) != name || text.substr(name.size(), 1) != " ") {
      return std::nullopt;
    }
    const std::optional<Text> value = Unescaped(text.substr(name.size() + 1));
    if (!value) return std::nullopt;
    values[line - 1] = *value;
  }
  if (start != bytes.size()) return std::nullopt;
  const auto total = StrictLength(values[2]);
  const auto length = StrictLength(values[3]);
  const auto keptAt = StrictLength(values[4]);
  if (!total || !length || !keptAt) return std::nullopt;
  return PartialRecord{values[0], values[1], *total, *length, *keptAt, values[5]};
}

Text PartialProblem(const std::optional<PartialRecord>& record, TextView url, std::int64_t kept,
                    std::int64_t now) {
  if (!record) return u"no record of it that can be read";
  if (record->url != url) return u"it is the partial of another address: " + record->url;
  if (record->validator.empty()) return u"no validator to ask If-Range with";
  if (record->length <= 0 || record->length > record->total) {
    return u"nothing to continue: " + DecimalText(record->length) + u" of " +
           DecimalText(record->total) + u" bytes";
  }
  // More than the record names is what came after it was written; less is bytes that never
  // reached the disk.
  if (kept < record->length) {
    return u"its record says " + DecimalText(record->length) + u" bytes, its file holds " +
           DecimalText(kept);
  }
  if (now - record->keptAt > kPartialLifeSeconds) return u"kept more than 7 days ago";
  if (record->keptAt > now + 24 * 60 * 60) return u"kept at a time more than a day ahead";
  return {};
}

Text PartialName(TextView url) {
  // FNV-1a over the address's code units: a name, not a secret.
  std::uint64_t hash = 14695981039346656037ull;
  for (const char16_t unit : url) {
    hash = (hash ^ (unit & 0xFF)) * 1099511628211ull;
    hash = (hash ^ (unit >> 8)) * 1099511628211ull;
  }
  return HexText(hash, 16);
}

}  // namespace vexa
