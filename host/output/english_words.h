// The pages' fixed words in English, from the English catalogue built into
// atshost (host/web/page/words/en.json). A page carries them as its elements'
// own text, titles and accessible names, so that it reads whole where no
// script runs (a mail client, a text browser, scripts turned off); where one
// does, words.js puts the reader's language in their place.
#ifndef ATSHOST_OUTPUT_ENGLISH_WORDS_H
#define ATSHOST_OUTPUT_ENGLISH_WORDS_H

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace atshost {

using WordParam = std::pair<const char*, std::string>;

// The English text of `key` with each "{name}" filled from `params`, as
// words.js fills it (a place with no value stays as written); the key itself
// where the catalogue has none, as words.js shows it.
std::string EnglishWord(std::string_view key, std::initializer_list<WordParam> params = {});

// A page template's markup (its own elements, not its data or scripts) with
// the English words written in: an element whose data-word names a key and
// that holds nothing gets the key's text, data-word-title gives a title and
// data-word-label an aria-label where the element has none.
std::string WithEnglishWords(std::string_view html);

}  // namespace atshost

#endif  // ATSHOST_OUTPUT_ENGLISH_WORDS_H
