#include "io/ffmt.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "model/errors.hpp"

namespace vorb::ffmt {

namespace {

// The fields written onto the end of a record.
void put_i(std::string& out, long v, int w) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  const int n = int(r.ptr - buf);
  if (n > w) {
    out.append(std::size_t(w), '*');
  } else {
    out.append(std::size_t(w - n), ' ');
    out.append(buf, std::size_t(n));
  }
}

// Finite v with d decimals as printf's "%.*f" writes it, into buf (room for 40 characters): the
// length, or 0 when this fast path does not apply. It rounds v * 10^d (below 10^15, so its
// rounding error is under half a unit) to an integer, unless the product lies within two units
// in its last place of a half, where that error could have moved it across one: those values,
// and all with more than 9 decimals, are left to to_chars. Both round the exact binary value
// half to even, so the digits are the same.
std::size_t fixed_chars(char* buf, double v, int d) {
  static const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
  const double a = std::fabs(v);
  if (d >= 0 && d <= 9 && a < 1e9) {
    const double y = a * kPow10[d];
    if (!(y < 1e15)) return 0;
    const double fl = std::floor(y);
    const double frac = y - fl;  // exact
    const double tol = std::max(y, 1.0) * 4.5e-16;
    if (std::fabs(frac - 0.5) > tol) {
      const std::uint64_t r = std::uint64_t(fl) + (frac > 0.5 ? 1 : 0);
      // The digits, zero-padded to at least d + 1 of them, the point before the last d.
      char digits[32];
      const std::size_t d_ = std::size_t(d);
      char* const end = std::to_chars(digits + d_ + 1, digits + sizeof digits, r).ptr;
      char* first = digits + d_ + 1;
      while (std::size_t(end - first) < d_ + 1) *--first = '0';
      const std::size_t nd = std::size_t(end - first);
      std::size_t n = 0;
      if (std::signbit(v)) buf[n++] = '-';
      std::memcpy(buf + n, first, nd - d_);
      n += nd - d_;
      buf[n++] = '.';
      std::memcpy(buf + n, end - d_, d_);
      n += d_;
      return n;
    }
  }
  return 0;
}

void put_f(std::string& out, double v, int w, int d) {
  std::string s;
  if (std::isnan(v)) {
    s = "NaN";
  } else if (std::isinf(v)) {
    s = v < 0 ? "-Infinity" : "Infinity";
    if (int(s.size()) > w) s = v < 0 ? "-Inf" : "Inf";
  } else {
    // fixed_chars and to_chars round as printf does ("%#.*f", the point kept when d is 0),
    // several times faster.
    char buf[512];
    std::size_t n = fixed_chars(buf, v, d);
    if (n == 0) {
      const std::to_chars_result r =
          std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::fixed, d);
      if (r.ec == std::errc()) {
        n = std::size_t(r.ptr - buf);
        if (d == 0) buf[n++] = '.';
      } else {
        n = std::size_t(
            std::clamp(std::snprintf(buf, sizeof buf, "%#.*f", d, v), 0, int(sizeof buf) - 1));
      }
    }
    if (int(n) <= w) {  // the common case, written in place
      out.append(std::size_t(w) - n, ' ');
      out.append(buf, n);
      return;
    }
    s.assign(buf, n);
    // Fortran drops the optional leading zero before the point when that makes it fit.
    if (s.rfind("0.", 0) == 0)
      s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
      s.erase(1, 1);
  }
  if (int(s.size()) > w) {
    out.append(std::size_t(w), '*');
  } else {
    out.append(std::size_t(w) - s.size(), ' ');
    out += s;
  }
}

}  // namespace

std::string fmt_i(long v, int w) {
  std::string s;
  put_i(s, v, w);
  return s;
}

std::string fmt_f(double v, int w, int d) {
  std::string s;
  put_f(s, v, w, d);
  return s;
}

std::string fmt_a(std::string_view s, int w) {
  if (int(s.size()) >= w) return std::string(s.substr(0, std::size_t(w)));
  return std::string(std::size_t(w) - s.size(), ' ') + std::string(s);
}

RecordWriter& RecordWriter::i(long v, int w) {
  put_i(s_, v, w);
  return *this;
}
RecordWriter& RecordWriter::f(double v, int w, int d) {
  put_f(s_, v, w, d);
  return *this;
}
RecordWriter& RecordWriter::a(std::string_view t, int w) {
  s_ += fmt_a(t, w);
  return *this;
}
RecordWriter& RecordWriter::a(std::string_view t) {
  s_ += t;
  return *this;
}
RecordWriter& RecordWriter::x(int n) {
  s_.append(std::size_t(n), ' ');
  return *this;
}

namespace {

std::string strip_blanks(std::string_view f) {
  std::string t;
  for (char ch : f)
    if (ch != ' ' && ch != '\t') t += ch;
  return t;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Splits a real field into a canonical "digits.digits e exp" text; implied decimals apply when
// the field has no point (d < 0: none).
bool canonical_real(std::string_view field, int d, std::string& out) {
  std::string t = strip_blanks(field);
  if (t.empty()) {
    out = "0";
    return true;
  }
  std::size_t k = 0;
  bool neg = false;
  if (t[k] == '+' || t[k] == '-') neg = t[k++] == '-';
  std::string ip, fp;
  bool point = false;
  while (k < t.size() && is_digit(t[k])) ip += t[k++];
  if (k < t.size() && t[k] == '.') {
    point = true;
    ++k;
    while (k < t.size() && is_digit(t[k])) fp += t[k++];
  }
  if (ip.empty() && fp.empty()) return false;
  long exp = 0;
  if (k < t.size()) {
    char c = t[k];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D' || c == 'q' || c == 'Q') {
      ++k;
    } else if (c != '+' && c != '-') {
      return false;
    }
    bool eneg = false;
    if (k < t.size() && (t[k] == '+' || t[k] == '-')) eneg = t[k++] == '-';
    std::string ed;
    while (k < t.size() && is_digit(t[k])) ed += t[k++];
    if (ed.empty() || k != t.size() || ed.size() > 6) return false;
    exp = std::stol(ed);
    if (eneg) exp = -exp;
  }
  if (!point && d > 0) {
    // d implied decimals: the last d digits of the mantissa are the fraction.
    while (int(ip.size()) < d) ip.insert(ip.begin(), '0');
    fp = ip.substr(ip.size() - std::size_t(d));
    ip.erase(ip.size() - std::size_t(d));
  }
  out = std::string(neg ? "-" : "") + (ip.empty() ? "0" : ip) + "." + (fp.empty() ? "0" : fp) +
        "e" + std::to_string(exp);
  return true;
}

template <class T>
bool to_real(const std::string& c, T& out) {
  auto r = std::from_chars(c.data(), c.data() + c.size(), out);
  if (r.ec == std::errc::result_out_of_range) {
    // Overflow reads as infinity, underflow as zero, like the Fortran runtime.
    bool neg = !c.empty() && c[0] == '-';
    bool tiny = c.find("e-") != std::string::npos;
    out = tiny ? T(0) : (neg ? -std::numeric_limits<T>::infinity()
                             : std::numeric_limits<T>::infinity());
    return true;
  }
  return r.ec == std::errc() && r.ptr == c.data() + c.size();
}

// The digits of a plain decimal field without its point, their count, the decimals after the
// point and the sign; false when the field is not such a decimal.
bool plain_digits(std::string_view f, std::string_view& t, std::int64_t& n, int& digits, int& decimals,
                  bool& neg) {
  std::size_t b = 0, e = f.size();
  while (b < e && f[b] == ' ') ++b;
  while (e > b && f[e - 1] == ' ') --e;
  t = f.substr(b, e - b);
  if (t.empty()) return false;
  neg = t[0] == '-';
  n = 0;
  digits = 0;
  decimals = -1;
  for (std::size_t k = neg ? 1 : 0; k < t.size(); ++k) {
    const char c = t[k];
    if (is_digit(c)) {
      if (digits < 18) n = n * 10 + (c - '0');
      ++digits;
      if (decimals >= 0) ++decimals;
    } else if (c == '.' && decimals < 0) {
      decimals = 0;
    } else {
      return false;
    }
  }
  return decimals >= 0 && digits > 0;
}

}  // namespace

bool parse_plain(std::string_view f, float& out) {
  std::string_view t;
  std::int64_t n = 0;
  int digits = 0, decimals = 0;
  bool neg = false;
  if (!plain_digits(f, t, n, digits, decimals, neg)) return false;
  if (digits > 15 || decimals > 8) {
    auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
  }
  // n / 10^d rounded to double and then to float is the float nearest the decimal, as from_chars
  // gives it: with at most 8 decimals the exact value lies too far from any float midpoint for
  // the double rounding to cross one, and a midpoint itself is exact in double.
  static const double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
  const float v = float(double(n) / kPow10[decimals]);
  out = neg ? -v : v;
  return true;
}

bool parse_plain(std::string_view f, double& out) {
  std::string_view t;
  std::int64_t n = 0;
  int digits = 0, decimals = 0;
  bool neg = false;
  if (!plain_digits(f, t, n, digits, decimals, neg)) return false;
  auto r = std::from_chars(t.data(), t.data() + t.size(), out);
  return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

bool parse_i(std::string_view field, long& out) {
  // The usual shape, right-justified digits, read in place; anything else (blanks inside or
  // after, tabs, long fields) below.
  {
    std::size_t k = 0;
    while (k < field.size() && field[k] == ' ') ++k;
    const bool neg = k < field.size() && field[k] == '-';
    if (k < field.size() && (field[k] == '-' || field[k] == '+')) ++k;
    const std::size_t first = k;
    long v = 0;
    while (k < field.size() && k - first < 10 && is_digit(field[k])) v = v * 10 + (field[k++] - '0');
    if (k == field.size() && k > first && v <= std::numeric_limits<int>::max()) {
      out = neg ? -v : v;
      return true;
    }
  }
  std::string t = strip_blanks(field);
  if (t.empty()) {
    out = 0;
    return true;
  }
  std::size_t k = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (k == t.size()) return false;
  for (std::size_t q = k; q < t.size(); ++q)
    if (!is_digit(t[q])) return false;
  long v = 0;
  auto r = std::from_chars(t.data() + k, t.data() + t.size(), v);
  if (r.ec != std::errc() || v > std::numeric_limits<int>::max()) return false;
  out = t[0] == '-' ? -v : v;
  return true;
}

bool parse_f(std::string_view field, int d, double& out) {
  if (parse_plain(field, out)) return true;
  std::string c;
  return canonical_real(field, d, c) && to_real(c, out);
}

RecordReader::RecordReader(std::string_view line, std::string file, int line_no)
    : line_(line), file_(std::move(file)), line_no_(line_no) {}

std::string_view RecordReader::field(int w) {
  std::size_t p = std::size_t(pos_);
  pos_ += w;
  if (p >= line_.size()) return std::string_view();
  return std::string_view(line_).substr(p, std::size_t(w));
}

void RecordReader::fail(const std::string& what, std::string_view found) const {
  throw InputError(file_, line_no_,
                   "column " + std::to_string(pos_ + 1) + ": expected " + what + ", found \"" +
                       std::string(found) + "\"");
}

int RecordReader::i(int w) {
  int start = pos_;
  std::string_view f = field(w);
  long v = 0;
  if (!parse_i(f, v)) {
    pos_ = start;
    fail("I" + std::to_string(w) + " integer", f);
  }
  return int(v);
}

float RecordReader::f(int w, int d) {
  int start = pos_;
  std::string_view fv = field(w);
  float v = 0.0f;
  if (std::size_t(w) == fv.size() && parse_point(fv, d, v)) return v;
  if (parse_plain(fv, v)) return v;
  std::string c;
  if (!canonical_real(fv, d, c) || !to_real(c, v)) {
    pos_ = start;
    fail("F" + std::to_string(w) + "." + std::to_string(d) + " number", fv);
  }
  return v;
}

double RecordReader::fd(int w, int d) {
  int start = pos_;
  std::string_view fv = field(w);
  double v = 0.0;
  if (!parse_f(fv, d, v)) {
    pos_ = start;
    fail("F" + std::to_string(w) + "." + std::to_string(d) + " number", fv);
  }
  return v;
}

std::string RecordReader::a(int w) {
  std::string s(field(w));
  s.resize(std::size_t(w), ' ');
  return s;
}

void RecordReader::x(int n) { pos_ += n; }

void ListWriter::sep() { s_ += ' '; }
ListWriter& ListWriter::operator<<(std::string_view t) {
  sep();
  s_ += t;
  return *this;
}
ListWriter& ListWriter::operator<<(int v) { return *this << long(v); }
ListWriter& ListWriter::operator<<(long v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  sep();
  s_.append(buf, r.ptr);
  return *this;
}
ListWriter& ListWriter::operator<<(float v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  sep();
  s_.append(buf, r.ptr);
  return *this;
}
ListWriter& ListWriter::operator<<(double v) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  sep();
  s_.append(buf, r.ptr);
  return *this;
}
ListWriter& ListWriter::logical(bool v) { return *this << (v ? "T" : "F"); }

ListReader::ListReader(std::istream& in, std::string file) : in_(in), file_(std::move(file)) {}

void ListReader::begin() {}
void ListReader::end() { have_line_ = false; }

bool get_line(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool BlockLines::next(std::string_view& line) {
  constexpr std::size_t kBlock = 1 << 16;
  for (;;) {
    const char* b = buf_.data() + pos_;
    const void* nl = std::memchr(b, '\n', end_ - pos_);
    if (nl != nullptr || (eof_ && pos_ < end_)) {
      const std::size_t n = nl ? std::size_t(static_cast<const char*>(nl) - b) : end_ - pos_;
      line = std::string_view(b, n);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      pos_ += n + (nl ? 1 : 0);
      return true;
    }
    if (eof_) return false;
    // Keep the partial line, then fill the buffer behind it.
    buf_.erase(0, pos_);
    end_ -= pos_;
    pos_ = 0;
    if (buf_.size() < end_ + kBlock) buf_.resize(end_ + kBlock);
    std::streambuf* sb = in_.rdbuf();
    const std::streamsize got = sb ? sb->sgetn(buf_.data() + end_, std::streamsize(kBlock)) : 0;
    end_ += std::size_t(std::max<std::streamsize>(got, 0));
    if (got < std::streamsize(kBlock)) {
      eof_ = true;
      in_.setstate(std::ios::eofbit);
    }
  }
}

bool ListReader::next_token(std::string& tok) {
  auto is_sep = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  for (;;) {
    if (!have_line_) {
      if (!get_line(in_, line_)) return false;
      ++line_no_;
      pos_ = 0;
      have_line_ = true;
    }
    while (pos_ < line_.size() && is_sep(line_[pos_])) ++pos_;
    if (pos_ >= line_.size()) {
      have_line_ = false;
      continue;
    }
    std::size_t b = pos_;
    while (pos_ < line_.size() && !is_sep(line_[pos_])) ++pos_;
    tok = line_.substr(b, pos_ - b);
    return true;
  }
}

ReadStatus ListReader::take(long& v) {
  std::string tok;
  if (!next_token(tok)) return ReadStatus::eof;
  return parse_i(tok, v) ? ReadStatus::ok : ReadStatus::error;
}
ReadStatus ListReader::take(int& v) {
  long t = 0;
  ReadStatus st = take(t);
  if (st == ReadStatus::ok) v = int(t);
  return st;
}
ReadStatus ListReader::take(double& v) {
  std::string tok, c;
  if (!next_token(tok)) return ReadStatus::eof;
  if (parse_plain(tok, v)) return ReadStatus::ok;
  if (!canonical_real(tok, -1, c) || !to_real(c, v)) return ReadStatus::error;
  return ReadStatus::ok;
}
ReadStatus ListReader::take(float& v) {
  std::string tok, c;
  if (!next_token(tok)) return ReadStatus::eof;
  if (parse_plain(tok, v)) return ReadStatus::ok;
  if (!canonical_real(tok, -1, c) || !to_real(c, v)) return ReadStatus::error;
  return ReadStatus::ok;
}
ReadStatus ListReader::take(std::string& v) {
  if (!next_token(v)) return ReadStatus::eof;
  return ReadStatus::ok;
}

}  // namespace vorb::ffmt
