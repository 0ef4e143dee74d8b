// The byte-stream charset object (ProgID "Adodb.Stream"), over iconv.
//
// A stream holds bytes. In binary mode (type 1) it reads and writes bytes; in
// text mode (type 2) it reads and writes text through its charset. Every call
// that fails returns false (or an empty optional) and has no effect, as the
// automation interface reports a failing COM call without a message.
#pragma once

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

  bool set_type(long type);  // only at position 0, as the object requires
  long type() const;
  bool set_mode(long mode);  // only while closed
  long mode() const;
  bool set_position(long position);  // 0 .. size
  long position() const;
  long size() const;
  // Charset names compare ignoring ASCII case; an unknown name fails and
  // leaves the charset as it was. The default is "Unicode" (UTF-16LE).
  bool set_charset(std::u16string_view name);
  std::u16string charset() const;

  bool open();
  bool close();
  bool write(const Bytes& bytes);               // binary mode, at the position
  bool write_text(std::u16string_view text);     // text mode, in the charset
  std::optional<std::u16string> read_text();     // text mode, all that remains
  std::optional<Bytes> read();                   // binary mode, all that remains

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace ck::platform
