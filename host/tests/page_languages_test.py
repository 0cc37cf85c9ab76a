#!/usr/bin/env python3
"""The pages in both languages, in headless Chromium: the cab view, the check
page and (where it was built) the driving page. With ?lang=ja no control shows
an English word of the catalogue, with ?lang=en no Japanese; a Japanese
browser gets Japanese, the switch changes a page at once, the choice is
remembered and the address overrides it. Names (translate="no"), atshost's
own English lines (lang="en") and the switch itself are not the catalogue's.

usage: page_languages_test.py ATSHOST SOURCE_DIR WORKDIR [DRIVE_HTML]
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from cab_view_test import Browser, Failure  # noqa: E402
from drive_page_test import Page  # noqa: E402

# Every text a reader meets on the page's controls: text, titles and
# accessible names, outside names, atshost's lines and the switch.
READ_WORDS = """JSON.stringify((() => {
  const skip = (e) => !e || e.closest('.languages, [lang]:not(html), [translate="no"], script, style');
  // The values a text is filled from (names, figures, atshost's lines) are
  // not the catalogue's words.
  const own = (e, text) => Object.values(JSON.parse(e.dataset.wordParams || '{}'))
    .reduce((t, v) => t.split(String(v)).join(' '), text).trim();
  const texts = [];
  const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  for (let n; (n = walker.nextNode()); ) {
    const text = own(n.parentElement, n.textContent);
    if (text && !skip(n.parentElement)) texts.push(text);
  }
  for (const e of document.querySelectorAll('[title], [aria-label]')) {
    if (skip(e)) continue;
    for (const a of ['title', 'aria-label']) if (e.getAttribute(a)) texts.push(e.getAttribute(a));
  }
  return { lang: document.documentElement.lang, texts };
})())"""
JAPANESE = re.compile(r"[\u3000-\u30ff\u3400-\u9fff\uff00-\uffef]")
WORD = re.compile(r"[A-Za-z]{3,}")


# Latin words the Japanese pages keep: the program's and the product's names,
# a file kind, key names, a unit and the address's own word (#frame=N).
KEPT_IN_JAPANESE = {"atsvorlan", "atshost", "csv", "home", "end", "kpa", "frame"}


def english_words(words_dir):
    """The English catalogue's words, but for those Japanese keeps too."""
    with open(os.path.join(words_dir, "en.json"), encoding="utf-8") as f:
        en = json.load(f)
    words = {w.lower() for text in en.values() for w in WORD.findall(re.sub(r"{[^}]*}", "", text))}
    return words - KEPT_IN_JAPANESE


def wrong_words(read, english, where):
    """What `read` (READ_WORDS's answer) shows in the other language."""
    state = json.loads(read)
    lang = state["lang"]
    found = set()
    for text in state["texts"]:
        if lang == "ja":
            found |= {w for w in WORD.findall(text) if w.lower() in english}
        elif JAPANESE.search(text):
            found.add(text)
    if not found:
        return []
    return [f"{where} in '{lang}' shows {sorted(found)[:12]}"]


class Tab:
    """A tab with one of atshost's pages, opened at `address`."""

    def __init__(self, browser, address, accept=None):
        self.browser = browser
        target = browser.send("Target.createTarget", url="about:blank")["targetId"]
        self.session = browser.send("Target.attachToTarget", targetId=target,
                                    flatten=True)["sessionId"]
        for domain in ("Page", "Runtime", "Log", "Network"):
            browser.send(domain + ".enable", self.session)
        if accept:  # the browser's languages, as a Japanese reader's browser has them
            agent = self.evaluate("navigator.userAgent")
            browser.send("Emulation.setUserAgentOverride", self.session, userAgent=agent,
                         acceptLanguage=accept)
        self.open(address)

    def open(self, address):
        self.browser.send("Page.navigate", self.session, url=address)
        for _ in range(500):
            if self.evaluate(f"location.href === {json.dumps(address)} && "
                             "document.readyState === 'complete'"):
                return
            time.sleep(0.01)
        raise Failure(f"{address} did not load")

    def evaluate(self, expression):
        result = self.browser.send("Runtime.evaluate", self.session, expression=expression,
                                   returnByValue=True)
        if "exceptionDetails" in result:
            raise Failure(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")


def choose(tab, lang):
    tab.evaluate(f"document.querySelector('.languages [data-lang=\"{lang}\"]').click()")


def page_problems(browser, name, address, english):
    """One page: by address, by the browser's language, by the switch, and
    the choice remembered and overridden."""
    problems = []
    japanese_browser = Tab(browser, address, accept="ja-JP,ja")
    problems += wrong_words(japanese_browser.evaluate(READ_WORDS), english, name + " (ja browser)")
    if japanese_browser.evaluate("document.documentElement.lang") != "ja":
        problems.append(f"{name}: a Japanese browser does not get Japanese")
    tab = Tab(browser, address + "?lang=en")
    for lang in ("en", "ja"):
        if lang == "ja":
            choose(tab, "ja")
        state = tab.evaluate(READ_WORDS)
        if json.loads(state)["lang"] != lang:
            problems.append(f"{name}: shows '{json.loads(state)['lang']}', not '{lang}'")
        problems += wrong_words(state, english, name)
    # Remembered without the address's word; the address's word overrides it.
    tab.open(address)
    if tab.evaluate("document.documentElement.lang") != "ja":
        problems.append(f"{name}: the language chosen is not remembered")
    tab.open(address + "?lang=en")
    problems += wrong_words(tab.evaluate(READ_WORDS), english, name + " (?lang=en)")
    choose(tab, "en")  # the next page starts from English again
    return problems


def drive_page_problems(browser, drive_html, english):
    """The driving page switched mid-run: the words it wrote itself (the
    unit's sentence, the line ahead, the levers) follow."""
    url = "file://" + os.path.abspath(drive_html)
    problems = []
    for lang in ("en", "ja"):
        page = Page(browser, url + "?lang=" + lang)
        page.evaluate("document.getElementById('details-switch').click()")
        page.advance(50)
        problems += wrong_words(page.evaluate(READ_WORDS), english, "the driving page")
    page.evaluate("document.querySelector('.languages [data-lang=\"en\"]').click()")
    page.advance(1)
    problems += wrong_words(page.evaluate(READ_WORDS), english, "the driving page switched")
    return problems


def browser_problems(browser, path):
    """Script errors, and any request beyond the page's own file."""
    problems = []
    for event in browser.events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            problems.append(f"script error: {params['exceptionDetails']}")
        elif method == "Log.entryAdded" and params["entry"]["level"] == "error":
            problems.append(f"browser log: {params['entry']['text']}")
        elif method == "Network.requestWillBeSent":
            address = re.split(r"[?#]", params["request"]["url"])[0]
            if address not in ("file://" + path, "about:blank"):
                problems.append(f"network request: {address}")
    return problems


def main():
    atshost, source, work = (os.path.abspath(a) for a in sys.argv[1:4])
    drive_html = sys.argv[4] if len(sys.argv) > 4 else ""
    english = english_words(os.path.join(source, "host", "web", "page", "words"))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run([atshost, "drive", "--out", work, "-q"], check=True)
    pages = {"the cab view": os.path.join(work, "demo.html")}
    route = os.path.join(source, "scenarios", "station.route")
    subprocess.run([atshost, "check", route, "--out", work, "-q"], check=False)
    pages["the check page"] = os.path.join(work, "station-check.html")

    problems = []
    profile = tempfile.mkdtemp(prefix="page-languages-")
    browser = Browser(profile)
    try:
        browser.deadline = time.monotonic() + 150
        for name, path in pages.items():
            url = "file://" + path
            print(f"page languages: {name}")
            problems += page_problems(browser, name, url, english)
            problems += browser_problems(browser, path)
            browser.events.clear()
        if drive_html and os.path.exists(drive_html):
            problems += drive_page_problems(browser, drive_html, english)
        else:
            print("page languages: no driving page built; its languages are not checked")
    finally:
        browser.close()
        shutil.rmtree(profile, ignore_errors=True)
    for p in problems[:40]:
        print(p)
    print(f"page languages: {len(pages)} pages, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print(f"page languages: {e}")
        sys.exit(1)
