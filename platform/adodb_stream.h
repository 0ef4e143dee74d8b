// The byte-stream charset object (ProgID "Adodb.Stream"), over iconv.
//
// A stream holds bytes. In binary mode (type 1) it reads and writes bytes; in
// text mode (type 2) it reads and writes text through its charset. Every call
// that fails returns false (or an empty optional) and has no effect, as the
// automation interface reports a failing COM call without a message.
//
// A new object is closed, in text mode, mode 0 (unknown: reading and writing
// allowed), charset "Unicode". Opening starts an empty stream at position 0;
// closing discards the contents (type, mode and charset stay). Writing
// overwrites from the position on and extends the stream as needed.
//
// Charsets (names compared ignoring ASCII case): "Unicode", "UTF-16" and
// "UTF-16LE" (UTF-16 little-endian), "UTF-16BE", "UTF-8", "GBK", "gb2312" and
// "cp936" (code page 936), "GB18030", "Big5" (code page 950), "ISO-8859-1",
// "windows-1252" and "us-ascii".
//
// Byte-order marks: read_text at position 0 skips a leading mark of the
// charset (EF BB BF for UTF-8, FF FE / FE FF for UTF-16, 84 31 95 33 for
// GB18030); write_text never writes one. Bytes that are not valid in the
// charset read as U+FFFD (a lone 16-bit half at the end of UTF-16 data too);
// a character the charset cannot represent is written as "?".
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/types.h"

namespace ck::platform {

class AdodbStream : public ComObject {
 public:
  static constexpr std::string_view kProgId = "Adodb.Stream";
  static constexpr long kTypeBinary = 1;
  static constexpr long kTypeText = 2;
  static constexpr long kModeReadWrite = 3;

  AdodbStream();
  ~AdodbStream() override;

  bool set_type(long type);  // 1 or 2; while closed or at position 0, as the object requires
  long type() const;
  bool set_mode(long mode);  // only while closed; 0-3 plus the share bits 4, 8, 16
  long mode() const;
  bool set_position(long position);  // only while open, 0 .. size
  long position() const;             // 0 while closed
  long size() const;                 // 0 while closed
  // Charset names compare ignoring ASCII case; an unknown name fails and
  // leaves the charset as it was. The default is "Unicode" (UTF-16LE). Only
  // while closed or at position 0, where a change cannot split a character.
  bool set_charset(std::u16string_view name);
  std::u16string charset() const;  // as it was given

  bool open();
  bool close();
  // Reading needs mode 0 or an access with read (1, 3); writing needs mode 0
  // or an access with write (2, 3). Each moves the position past what it did.
  bool write(const Bytes& bytes);                // binary mode, at the position
  bool write_text(std::u16string_view text);     // text mode, in the charset
  std::optional<std::u16string> read_text();     // text mode, all that remains
  std::optional<Bytes> read();                   // binary mode, all that remains

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ck::platform
