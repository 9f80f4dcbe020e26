// Fortran-style records: the one reader and writer of fixed-column and free-form text.
//
// Fixed-column edit descriptors: Iw (integer in w columns), Fw.d (real in w columns, d decimals),
// Aw (text in w columns), nX (n blanks / skipped columns).
//   Output: numbers right-justified; a number that does not fit is w asterisks; Fw.d is the
//   correctly rounded decimal of the exact binary value (ties to even), the leading zero dropped
//   when only it does not fit, the point always written; Aw right-justifies a shorter text and
//   keeps the first w characters of a longer one.
//   Input: a record shorter than the format is padded with blanks; blanks inside a numeric field
//   are ignored and an all-blank field reads 0; an F field without a point has d implied
//   decimals; E/D exponents are accepted; anything else is an InputError naming file and line.
// Free-form (list-directed) records: values separated by blanks or commas. One read takes the
// values it needs from as many lines as it needs and drops the rest of its last line. An output
// line starts with one blank and separates its items by one blank.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <string_view>

namespace vorb::ffmt {

// Formats of single fields, usable on their own.
std::string fmt_i(long v, int w);
std::string fmt_f(double v, int w, int d);  // pass a float: it is promoted exactly
std::string fmt_a(std::string_view s, int w);

class RecordWriter {
 public:
  RecordWriter() { s_.reserve(kTypical); }
  RecordWriter& i(long v, int w);
  RecordWriter& f(double v, int w, int d);
  RecordWriter& a(std::string_view s, int w);
  RecordWriter& a(std::string_view s);  // A without width: the text as it stands
  RecordWriter& x(int n);
  const std::string& str() const { return s_; }

 private:
  static constexpr std::size_t kTypical = 128;  // room for the longest usual record
  std::string s_;
};

class RecordReader {
 public:
  // file and line_no only label error messages.
  RecordReader(std::string_view line, std::string file, int line_no);
  int i(int w);
  float f(int w, int d);
  double fd(int w, int d);
  std::string a(int w);
  void x(int n);
  int column() const { return pos_ + 1; }  // next column to be read, 1-based

 private:
  std::string_view field(int w);
  [[noreturn]] void fail(const std::string& what, std::string_view found) const;
  std::string line_;
  std::string file_;
  int line_no_;
  int pos_ = 0;
};

// Parses one Iw / Fw.d field on its own; false when the text is not a number.
bool parse_i(std::string_view field, long& out);
bool parse_f(std::string_view field, int d, double& out);
// The common field, a plain decimal with its point ("  -0.600": digits, one point, an optional
// leading '-', blanks around), read fast as the nearest value; false for anything else, which
// the general readers take (the same value where both read it).
bool parse_plain(std::string_view field, float& out);
// A whole field "[blanks][-]digits.d...d" with its point where F w.d puts it (w the field's
// length), read as m / 10^d in single precision: m below 2^24 and 10^d (d <= 10) are exact floats
// and the division rounds correctly, so this is the float nearest the decimal, as parse_plain
// gives. False for any other shape. Inline: readers with a fixed layout get it unrolled.
inline bool parse_point(std::string_view f, int d, float& out) {
  static const float kPow10[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
  const std::size_t w = f.size();
  if (d < 0 || d > 10 || w < std::size_t(d) + 2 || w > 16) return false;
  const std::size_t p = w - std::size_t(d) - 1;
  if (f[p] != '.') return false;
  std::size_t k = 0;
  while (k < p && f[k] == ' ') ++k;
  const bool neg = k < p && f[k] == '-';
  if (neg) ++k;
  if (k == p) return false;
  std::uint64_t m = 0;
  for (std::size_t j = k; j < w; ++j) {
    if (j == p) continue;
    const unsigned c = unsigned(f[j] - '0');
    if (c > 9) return false;
    m = m * 10 + c;
  }
  if (m >= (std::uint64_t(1) << 24)) return false;
  const float v = float(m) / kPow10[d];
  out = neg ? -v : v;
  return true;
}
bool parse_plain(std::string_view field, double& out);

// Free-form output line: " item item ...".
class ListWriter {
 public:
  ListWriter& operator<<(std::string_view s);
  ListWriter& operator<<(const char* s) { return *this << std::string_view(s); }
  ListWriter& operator<<(const std::string& s) { return *this << std::string_view(s); }
  ListWriter& operator<<(int v);
  ListWriter& operator<<(long v);
  ListWriter& operator<<(float v);   // shortest text that reads back as the same float
  ListWriter& operator<<(double v);
  ListWriter& logical(bool v);       // T or F
  const std::string& str() const { return s_; }

 private:
  void sep();
  std::string s_ = "";
};

enum class ReadStatus { ok, eof, error };

// Free-form input over a stream.
class ListReader {
 public:
  ListReader(std::istream& in, std::string file);
  // Reads one record's worth of values into the targets (int, float, double or std::string;
  // a std::string target takes one word). Returns error when a token is not a number of the
  // target's type (the targets read before it keep their new values), eof when the file ends
  // before every target is filled.
  template <class... T>
  ReadStatus read(T&... targets) {
    begin();
    ReadStatus st = ReadStatus::ok;
    ((st = st == ReadStatus::ok ? take(targets) : st), ...);
    end();
    return st;
  }
  int line_no() const { return line_no_; }   // line of the last value taken
  const std::string& file() const { return file_; }

 private:
  void begin();
  void end();
  bool next_token(std::string& tok);
  ReadStatus take(int& v);
  ReadStatus take(long& v);
  ReadStatus take(float& v);
  ReadStatus take(double& v);
  ReadStatus take(std::string& v);
  std::istream& in_;
  std::string file_;
  std::string line_;
  std::size_t pos_ = 0;
  bool have_line_ = false;
  int line_no_ = 0;
};

// Reads one line (without its end, a trailing carriage return removed); false at end of file.
bool get_line(std::istream& in, std::string& line);

// The lines of a stream, cut as get_line cuts them (at '\n', a trailing carriage return
// removed, no line after a final '\n'), read in blocks into one reused buffer: a view stays
// valid until the next call.
class BlockLines {
 public:
  explicit BlockLines(std::istream& in) : in_(in) {}
  bool next(std::string_view& line);

 private:
  std::istream& in_;
  std::string buf_;
  std::size_t pos_ = 0, end_ = 0;
  bool eof_ = false;
};

}  // namespace vorb::ffmt
