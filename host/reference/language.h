// The languages the authors' guide is printed in, and a text in each of them.
// Every text of the reference tables and of the guide's catalogue is a Text:
// the English and the Japanese side by side, so that a text cannot be added in
// one language and forgotten in the other. Complete() is checked at compile
// time over every table (static_assert), so a missing or empty side, English
// left in the Japanese side, or a non-ASCII character in the English side
// fails the build.
#ifndef ATSHOST_REFERENCE_LANGUAGE_H
#define ATSHOST_REFERENCE_LANGUAGE_H

namespace atshost::reference {

enum class Language { kEnglish, kJapanese };

struct Text {
  const char* en;
  const char* ja;

  constexpr const char* In(Language language) const {
    return language == Language::kJapanese ? ja : en;
  }
};

// English in plain ASCII (the plain-text guide stays readable anywhere), and
// Japanese with at least one character outside ASCII: a Japanese side that is
// only English, or only figures, is a text nobody translated.
constexpr bool Complete(const Text& t) {
  if (t.en == nullptr || t.ja == nullptr || *t.en == '\0' || *t.ja == '\0') return false;
  for (const char* c = t.en; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  }
  for (const char* c = t.ja; *c != '\0'; ++c) {
    if (static_cast<unsigned char>(*c) >= 0x80) return true;
  }
  return false;
}

}  // namespace atshost::reference

#endif  // ATSHOST_REFERENCE_LANGUAGE_H
