// iconv conversions of Windows code pages, one open converter per code page
// and thread (iconv descriptors carry state, so threads must not share them).
#include "engine/util/system_code_page.h"

#include <iconv.h>

#include <cerrno>
#include <map>

#include "engine/util/error.h"

namespace kevra {
namespace {

// The iconv name of a Windows code page.
std::string iconvName(int codePage) { return "CP" + std::to_string(codePage); }

class Converters {
 public:
  ~Converters() {
    for (auto& [codePage, cd] : open_)
      if (cd != iconv_t(-1)) ::iconv_close(cd);
  }
  // The converter to UTF-8, or iconv_t(-1) when there is none.
  iconv_t get(int codePage) {
    auto it = open_.find(codePage);
    if (it == open_.end()) {
      iconv_t cd = codePage > 0 ? ::iconv_open("UTF-8", iconvName(codePage).c_str()) : iconv_t(-1);
      it = open_.emplace(codePage, cd).first;
    }
    return it->second;
  }

 private:
  std::map<int, iconv_t> open_;
};

iconv_t converterFor(int codePage) {
  thread_local Converters converters;
  return converters.get(codePage);
}

}  // namespace

bool systemCanDecodeCodePage(int codePage) { return converterFor(codePage) != iconv_t(-1); }

void appendSystemCodePageAsUtf8(ByteSpan bytes, int codePage, std::string& out) {
  iconv_t cd = converterFor(codePage);
  if (cd == iconv_t(-1))
    throw EngineError("Code page " + std::to_string(codePage) + " cannot be converted by this system.");
  ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t inLeft = bytes.size();
  char buffer[1024];
  while (inLeft > 0) {
    char* o = buffer;
    size_t oLeft = sizeof buffer;
    size_t r = ::iconv(cd, &in, &inLeft, &o, &oLeft);
    const int error = errno;
    out.append(buffer, size_t(o - buffer));
    if (r != size_t(-1)) break;
    if (error == E2BIG) continue;
    // An undefined (EILSEQ) or cut-off (EINVAL) sequence: mark it, skip a byte.
    out.append("\xEF\xBF\xBD");
    ++in;
    --inLeft;
  }
  // Flush any pending shift sequence.
  char* o = buffer;
  size_t oLeft = sizeof buffer;
  ::iconv(cd, nullptr, nullptr, &o, &oLeft);
  out.append(buffer, size_t(o - buffer));
}

}  // namespace kevra
