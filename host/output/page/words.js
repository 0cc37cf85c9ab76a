// The pages' words: one catalogue by language, carried in the page as JSON
// ({"en": {key: text}, "ja": {...}}, one file by language in the source).
// The language shown is the one the address asks for (?lang=ja), else the
// one the reader chose on a page before (remembered in the browser), else
// the reader's first browser language the catalogue has, else English. A
// key a language lacks falls back to English; "{name}" in a text is filled
// from the parameters. Shared by the driving page, the cab view and the
// check page.
'use strict';

const Words = (function () {
  const STORE = 'ATSVorlan800.language';
  const element = document.getElementById('words');
  const all = element ? JSON.parse(element.textContent) : {};
  const listeners = [];

  // Storage may be refused (a private window, a file:// page in some
  // browsers): the choice then lasts as long as the page.
  function stored() {
    try {
      return localStorage.getItem(STORE);
    } catch {
      return null;
    }
  }
  function remember(tag) {
    try {
      localStorage.setItem(STORE, tag);
    } catch {
      // not remembered
    }
  }
  function fromAddress() {
    return new URLSearchParams(window.location.search).get('lang');
  }
  function fromBrowser() {
    return (navigator.languages || [navigator.language || 'en'])
      .map((tag) => String(tag).toLowerCase().split('-')[0])
      .find((tag) => all[tag]);
  }

  let lang = 'en';
  let words = {};
  function use(tag) {
    lang = tag;
    words = Object.assign({}, all.en || {}, all[tag] || {});
    document.documentElement.lang = tag;
  }
  use([fromAddress(), stored()].find((tag) => tag && all[tag]) || fromBrowser() || 'en');

  function say(key, params) {
    const text = words[key];
    if (text === undefined) return key;
    return params ? text.replace(/\{([^}]+)\}/g, (m, name) => String(params[name] ?? m)) : text;
  }

  // The fixed words of `root`'s elements: data-word="key" gives the text
  // (filled from the JSON in data-word-params, where there is one),
  // data-word-title the title, data-word-label the accessible name.
  function apply(root) {
    for (const e of root.querySelectorAll('[data-word]')) {
      const params = e.dataset.wordParams ? JSON.parse(e.dataset.wordParams) : undefined;
      e.textContent = say(e.dataset.word, params);
    }
    for (const e of root.querySelectorAll('[data-word-title]')) e.title = say(e.dataset.wordTitle);
    for (const e of root.querySelectorAll('[data-word-label]')) {
      e.setAttribute('aria-label', say(e.dataset.wordLabel));
    }
  }

  // The language switches (elements of class "languages"): a button by
  // language, each named in its own language.
  function showSwitches() {
    for (const box of document.querySelectorAll('.languages')) {
      box.setAttribute('role', 'group');
      box.setAttribute('aria-label', say('lang.label'));
      if (box.children.length === 0) {
        for (const tag of Object.keys(all)) {
          const button = document.createElement('button');
          button.type = 'button';
          button.lang = tag;
          button.dataset.lang = tag;
          button.textContent = all[tag]['lang.name'] || tag;
          button.addEventListener('click', () => choose(tag));
          box.appendChild(button);
        }
      }
      for (const button of box.children) {
        button.setAttribute('aria-pressed', String(button.dataset.lang === lang));
      }
    }
  }

  // The reader's choice: remembered, kept in an address that named a
  // language, and shown at once.
  function choose(tag) {
    if (!all[tag] || tag === lang) return;
    remember(tag);
    if (fromAddress()) {
      const address = new URL(window.location.href);
      address.searchParams.set('lang', tag);
      try {
        history.replaceState(history.state, '', address);
      } catch {
        // an address the browser will not rewrite (file:// in some)
      }
    }
    use(tag);
    apply(document);
    showSwitches();
    for (const listener of listeners) listener(tag);
  }

  // The page's fixed words and its switches; `onChange` redraws what the
  // page wrote from the catalogue itself when the reader switches.
  function start(onChange) {
    apply(document);
    showSwitches();
    if (onChange) listeners.push(onChange);
  }

  return {
    say,
    apply,
    start,
    choose,
    get lang() {
      return lang;
    },
  };
})();
