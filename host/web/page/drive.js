// The driving page: the plug-in and atshost's simulation core, compiled to one
// WebAssembly module carried inside the page, run in real time with the
// driver's controls from the keyboard, the mouse or a touch screen. The page
// only feeds the module the driver's input and the time that passed, and
// shows what each frame gives back: the train, its model, the drivers on
// autopilot, the route parser and its query of the line ahead, the trace and
// the replay scenario are all the module's. Every word shown is the
// catalogue's (Cab.say).
'use strict';

(function () {
  // The module's numbers, by the names the page uses for them; they come
  // from page_api.h (PAGE_API, filled in when the page is built).
  const A = PAGE_API;
  const RUNNING = A.PAGE_RUNNING;
  const ROUTE_ENDED = A.PAGE_ROUTE_ENDED;
  const SESSION_ENDED = A.PAGE_PROCESS_ENDED;
  const NO_ROUTE = A.PAGE_NO_ROUTE;
  const CONTROL = {
    power: A.PAGE_POWER,
    brake: A.PAGE_BRAKE,
    reverser: A.PAGE_REVERSER,
    doorOpen: A.PAGE_DOOR_OPEN,
    doorClose: A.PAGE_DOOR_CLOSE,
    horn: A.PAGE_HORN,
    keyDown: A.PAGE_KEY_DOWN,
    keyUp: A.PAGE_KEY_UP,
    autopilot: A.PAGE_AUTOPILOT,
  };
  const AHEAD_KIND = {
    [A.PAGE_AHEAD_CHECK]: 'check',
    [A.PAGE_AHEAD_STOP_SIGNAL]: 'stop-signal',
    [A.PAGE_AHEAD_STATION]: 'station',
    [A.PAGE_AHEAD_END]: 'end',
  };
  const DRIVERS = { careful: A.PAGE_CAREFUL_DRIVER, route: A.PAGE_ROUTE_DRIVER };
  // A name the header no longer has would send undefined to the module.
  for (const value of [
    RUNNING,
    ROUTE_ENDED,
    SESSION_ENDED,
    NO_ROUTE,
    A.PAGE_PANEL_LENGTH,
    A.PAGE_SOUND_LENGTH,
    A.PAGE_AHEAD_ITEM_LENGTH,
    A.PAGE_AHEAD_GRADIENT_LENGTH,
    A.PAGE_TRIP_LENGTH,
    A.PAGE_OPENED_ROUTE,
    A.PAGE_OPENED_RUN,
    ...Object.keys(AHEAD_KIND).map(Number),
    ...Object.values(DRIVERS),
    ...Object.values(CONTROL),
  ]) {
    if (!Number.isInteger(value)) throw new Error('the page and page_api.h disagree on a name');
  }
  // A slow or hidden tab does not lurch the train on: the module takes
  // frames of 1 to 100 ms.
  const MAX_STEP_MS = 100;
  // The line ahead: this far, finer near the train (a logarithmic scale
  // whose first SCALE_M metres take about a third of its height).
  const AHEAD_M = 2000;
  const SCALE_M = 100;
  const AHEAD_TICKS = [0, 50, 100, 200, 500, 1000, 2000];
  // The stop gauge shows a station from this far before its mark to this
  // far past it, the last FINE_M metres magnified.
  const GAUGE_M = 100;
  const GAUGE_PAST_M = 50;
  const FINE_M = 5;
  // Panel lamps and sounds the driver's words read, as the authors' guide
  // lists them.
  const LAMP = {
    off: CAB.kPanelUnitOff,
    tripped: CAB.kPanelTripped,
    warning: CAB.kPanelWarning,
    emergency: CAB.kPanelEmergency,
    window: CAB.kPanelStopWindow,
  };
  const SOUND_ALARM = CAB.kSoundAlarm;
  const STOP = CabAudio.STOP;

  const $ = (id) => document.getElementById(id);
  const say = Cab.say;
  const utf8 = new TextDecoder();
  const utf16 = new TextDecoder('utf-16le');
  const touch = window.matchMedia('(hover: none) and (pointer: coarse)').matches;

  // The page's fixed words, from the catalogue.
  for (const e of document.querySelectorAll('[data-word]')) e.textContent = say(e.dataset.word);
  for (const e of document.querySelectorAll('[data-word-title]'))
    e.title = say(e.dataset.wordTitle);
  for (const e of document.querySelectorAll('[data-word-label]')) {
    e.setAttribute('aria-label', say(e.dataset.wordLabel));
  }
  document.title = say('title');
  document.documentElement.lang = Cab.lang;
  $('status').textContent = say('status.loading');

  // On a wide screen the run's controls stand open; a phone keeps them in
  // the menu, so that the cab fits.
  $('menu').open = window.matchMedia('(min-width: 701px)').matches;

  const cab = Cab.create($('cab'));
  // The dial and its readouts sit in the cab's speed region, the rest of the
  // cab behind "details".
  $('speedometer').appendChild(document.querySelector('#cab .group.speed'));

  // --- The module -----------------------------------------------------------

  const moduleBytes = (() => {
    const text = atob($('module').textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let k = 0; k < text.length; ++k) bytes[k] = text.charCodeAt(k);
    return bytes;
  })();
  let compiled = null;

  // One running module: a fresh one is a fresh simulator process.
  let x = null; // its exports
  let boxShown = false;

  function memory() {
    return new Uint8Array(x.memory.buffer);
  }
  function cString(pointer) {
    const bytes = memory();
    const end = bytes.indexOf(0, pointer);
    return utf8.decode(bytes.subarray(pointer, end < 0 ? bytes.length : end));
  }
  function wideString(pointer) {
    const units = new Uint16Array(x.memory.buffer);
    let end = pointer >>> 1;
    while (end < units.length && units[end] !== 0) ++end;
    return utf16.decode(units.subarray(pointer >>> 1, end));
  }
  // Text (a string, or a file's bytes as they are) into the module's memory,
  // NUL-terminated; the caller frees it.
  function place(text) {
    const bytes = typeof text === 'string' ? new TextEncoder().encode(text) : text;
    const pointer = x.malloc(bytes.length + 1);
    const target = memory();
    target.set(bytes, pointer);
    target[pointer + bytes.length] = 0;
    return { pointer, length: bytes.length };
  }

  const imports = {
    env: {
      // The plug-in's warning box. The simulator's thread waits inside it, so
      // the run stands still until the driver closes it.
      page_warning_box(caption, text) {
        $('warning-caption').textContent = wideString(caption);
        $('warning-text').textContent = wideString(text);
        boxShown = true;
        $('warning').showModal();
        showStatus();
      },
    },
  };

  async function newModule() {
    if (!compiled) compiled = await WebAssembly.compile(moduleBytes);
    const instance = await WebAssembly.instantiate(compiled, imports);
    x = instance.exports;
    views = null;
    // A reactor module: its constructors run once, before any other call.
    x._initialize();
    x.page_autopilot_driver(DRIVERS[$('autopilot-driver').value]);
  }

  // --- The session ------------------------------------------------------------

  const DEMO = { name: say('run.demo'), text: null };
  let route = DEMO;
  let status = NO_ROUTE;
  let notches = 0;
  let emergencyNotch = 0;
  let ended = false;
  const controls = { power: 0, brake: 0, reverser: 0 };
  // The autopilot's driver in the run open: chosen as it was opened.
  const running = { careful: true };
  let autopilot = false;
  // A saved run being shown: its text, its frames and the one shown.
  const saved = { text: null, frames: 0, frame: 0, playing: false, time: 0 };

  // The route or saved run in `next`, in a fresh session. One refused leaves
  // the session that ran as it was, and says why as atshost does.
  function openRoute(next) {
    let opened;
    const previous = route;
    route = next;
    if (route.text === null) {
      opened = x.page_open_demo() === 0 ? A.PAGE_OPENED_ROUTE : A.PAGE_REFUSED;
    } else {
      const name = place(route.name);
      const text = place(route.text);
      opened = x.page_open_file(name.pointer, text.pointer, text.length);
      x.free(name.pointer);
      x.free(text.pointer);
    }
    if (opened !== A.PAGE_OPENED_ROUTE && opened !== A.PAGE_OPENED_RUN) {
      route = previous;
      showMessage(cString(x.page_error()), true);
      return;
    }
    $('route').textContent = route.name;
    $('timeline').replaceChildren();
    $('csv').hidden = true;
    CabAudio.reset();
    showMessage('', false);
    notches = x.page_notches();
    emergencyNotch = x.page_brake_notches() + 1;
    buildLevers();
    aheadPool.clear();
    ahead.known.clear();
    figures.key = null;
    $('items').replaceChildren();
    if (opened === A.PAGE_OPENED_RUN) {
      status = NO_ROUTE;
      saved.text = route.text;
      saved.frames = x.page_run_frames();
      saved.frame = 0;
      saved.playing = false;
      $('seek').max = String(Math.max(saved.frames - 1, 0));
      $('take-over').disabled = x.page_run_has_route() === 0;
      $('take-over').title = say(
        x.page_run_has_route() ? 'playback.take-over-title' : 'playback.no-route',
      );
      $('playback').hidden = false;
      showSaved(0, false);
    } else {
      saved.text = null;
      $('playback').hidden = true;
      status = RUNNING;
      running.careful = $('autopilot-driver').value === 'careful';
      x.page_control(CONTROL.autopilot, autopilot ? 1 : 0);
      if (testing) x.page_test_fixed_step(1);
      readFrame();
    }
    clock.last = null;
    showStatus();
  }

  // A fresh module is a fresh simulator process.
  async function startAgain(next) {
    await newModule();
    ended = false;
    $('ended').hidden = true;
    status = NO_ROUTE;
    // A new process knows nothing of the keys the last one saw held.
    held.clear();
    f7.down = false;
    showF7();
    openRoute(next || route);
  }
  async function open(next) {
    if (ended) await startAgain(next);
    else openRoute(next);
  }

  function endSession() {
    ended = true;
    status = SESSION_ENDED;
    CabAudio.reset();
    $('ended-text').textContent = say('ended.text');
    $('ended').hidden = false;
    showStatus();
    showWords();
  }

  // --- A frame ---------------------------------------------------------------

  let views = null;
  const shown = {
    panel: (index) => views.panel[index],
    sound: (index) => views.sound[index],
    handle: (k) => views.handles[k],
    driver: (k) => views.driver[k],
    emergencyNotch: 0,
    speed: 0,
    bc: 0,
    mr: 0,
    current: 0,
    limit: null,
  };

  // The frame's outputs as views of the module's memory, made again only
  // when the memory has grown.
  function frameViews() {
    const buffer = x.memory.buffer;
    const panel = x.page_panel();
    if (!views || views.buffer !== buffer || views.at !== panel) {
      views = {
        buffer,
        at: panel,
        panel: new Int32Array(buffer, panel, A.PAGE_PANEL_LENGTH),
        sound: new Int32Array(buffer, x.page_sound(), A.PAGE_SOUND_LENGTH),
        handles: new Int32Array(buffer, x.page_handles(), A.PAGE_HANDLES_LENGTH),
        driver: new Int32Array(buffer, x.page_driver(), A.PAGE_DRIVER_LENGTH),
        train: new Float64Array(buffer, x.page_train(), A.PAGE_TRAIN_LENGTH),
      };
    }
    return views;
  }

  // Draws the frame the module shows. `sounds` follows its sound commands
  // (a frame run, or a saved run played forward one frame).
  function draw(frame, sounds) {
    const v = frameViews();
    const train = v.train;
    shown.emergencyNotch = emergencyNotch;
    shown.speed = train[2];
    shown.bc = train[3];
    shown.mr = train[4];
    shown.current = train[5];
    const location = train[1];
    readAhead(location);
    shown.limit = ahead.check ? ahead.check.limit : null;
    cab.render(shown);
    setText(where.time, Cab.fixed(train[0] / 1000, 3));
    setText(where.location, Cab.fixed(location, 1));
    if (sounds) CabAudio.update(shown.sound, performance.now());
    else CabAudio.reset();
    setText(where.frame, frame < 0 ? '–' : String(frame));
    Cab.showFrame(frame < 0 ? '' : frame);
    drawAhead(location);
    drawGauge(location, train[2]);
    drawLevers(v);
    showWords();
  }

  function readFrame() {
    const v = frameViews();
    [controls.brake, controls.power, controls.reverser] = v.driver;
    draw(x.page_frame(), true);
    appendTimeline(cString(x.page_timeline()));
  }

  const where = {
    time: { element: $('time') },
    location: { element: $('location') },
    frame: { element: $('frame') },
  };
  // An element's text is written only when it changes: the page is redrawn
  // every display frame.
  function setText(item, text) {
    if (item.text !== text) {
      item.text = text;
      item.element.textContent = text;
    }
  }

  const timeline = $('timeline');
  function appendTimeline(text) {
    if (!text) return;
    const lines = text.split('\n');
    if (lines[lines.length - 1] === '') lines.pop();
    const follow = timeline.scrollTop + timeline.clientHeight >= timeline.scrollHeight - 4;
    const items = document.createDocumentFragment();
    for (const line of lines) {
      const li = document.createElement('li');
      li.textContent = line;
      items.appendChild(li);
    }
    timeline.appendChild(items);
    if (follow) timeline.scrollTop = timeline.scrollHeight;
  }

  function step(dt) {
    status = x.page_step(dt);
    if (status === SESSION_ENDED) {
      endSession();
      return;
    }
    readFrame();
    if (firstFrameAt === null) firstFrameAt = performance.now();
    if (status !== RUNNING) showStatus();
  }

  function canStep() {
    return !ended && !boxShown && status === RUNNING;
  }

  // --- The line ahead ----------------------------------------------------------

  // The module's answer for the stretch from a little behind the train (the
  // stop gauge's station just passed) to AHEAD_M ahead.
  const ahead = {
    items: [],
    gradients: [],
    check: null,
    station: null,
    known: new Map(), // the items in view, by kind and place
    grades: [], // the gradient records, reused
    round: 0,
  };
  function readAhead(location) {
    const from = location - GAUGE_PAST_M;
    const at = x.page_ahead(from, location + AHEAD_M);
    const values = new Float64Array(x.memory.buffer, at, 2);
    const count = values[0];
    const grades = values[1];
    const all = new Float64Array(
      x.memory.buffer,
      at,
      2 + count * A.PAGE_AHEAD_ITEM_LENGTH + grades * A.PAGE_AHEAD_GRADIENT_LENGTH,
    );
    ahead.items.length = 0;
    ahead.gradients.length = 0;
    ahead.check = null;
    ahead.station = null;
    ++ahead.round;
    let k = 2;
    for (let i = 0; i < count; ++i, k += A.PAGE_AHEAD_ITEM_LENGTH) {
      // Each item is read once while it is in view, then only moved: a
      // frame makes no garbage for the collector to pause the page over.
      const kind = AHEAD_KIND[all[k]];
      const key = kind + '@' + all[k + 1];
      let item = ahead.known.get(key);
      if (!item) {
        item = { kind, at: all[k + 1], limit: all[k + 2], window: all[k + 3], name: '' };
        if (kind === 'station') item.name = cString(x.page_ahead_name(i));
        ahead.known.set(key, item);
      }
      item.seen = ahead.round;
      item.distance = item.at - location;
      ahead.items.push(item);
      if (item.distance >= 0 && !ahead.check && (kind === 'check' || kind === 'stop-signal')) {
        ahead.check = item;
      }
      if (item.distance >= 0 && !ahead.station && kind === 'station') ahead.station = item;
    }
    for (let i = 0; i < grades; ++i, k += A.PAGE_AHEAD_GRADIENT_LENGTH) {
      const g = ahead.grades[i] || (ahead.grades[i] = {});
      g.from = all[k];
      g.to = all[k + 1];
      g.permille = all[k + 2];
      ahead.gradients.push(g);
    }
    if (ahead.known.size > count) {
      for (const [key, item] of ahead.known) if (item.seen !== ahead.round) ahead.known.delete(key);
    }
  }

  const line = { height: 0, element: $('line') };
  new ResizeObserver(() => {
    line.height = line.element.clientHeight;
    drawScale();
    for (const e of aheadPool.values()) e.y = null;
    for (const d of drawnGrades) d.key = '';
    if (views) drawAhead(views.train[1]);
  }).observe(line.element);
  // Height above the train's mark of a point `d` metres ahead.
  function aheadY(d) {
    const f = Math.log1p(Math.max(d, 0) / SCALE_M) / Math.log1p(AHEAD_M / SCALE_M);
    return Math.min(f, 1) * line.height;
  }
  function drawScale() {
    const scale = $('scale');
    scale.replaceChildren();
    for (const d of AHEAD_TICKS) {
      const tick = document.createElement('div');
      tick.className = 'tick';
      tick.style.bottom = aheadY(d) + 'px';
      tick.textContent = d + ' ' + say('unit.m');
      scale.appendChild(tick);
    }
  }

  // The items drawn, by kind and place, each made once and moved each frame.
  const aheadPool = new Map();
  function aheadElement(item) {
    const key = item.kind + '@' + item.at;
    let e = aheadPool.get(key);
    if (!e) {
      const element = document.createElement('div');
      element.dataset.aheadKind = item.kind;
      element.dataset.aheadAt = String(item.at);
      const label = document.createElement('span');
      if (item.kind === 'check') {
        element.dataset.aheadLimit = String(item.limit);
        label.textContent = String(item.limit);
      } else if (item.kind === 'stop-signal') {
        element.dataset.aheadLimit = '0';
        label.textContent = say('ahead.stop-signal');
      } else if (item.kind === 'station') {
        element.dataset.aheadName = item.name;
        label.textContent = item.name || say('ahead.station');
      } else {
        label.textContent = say('ahead.end');
      }
      element.appendChild(label);
      $('items').appendChild(element);
      e = { element, y: null, distance: null, seen: 0 };
      aheadPool.set(key, e);
    }
    return e;
  }
  let aheadRound = 0;
  function drawAhead(location) {
    ++aheadRound;
    for (const item of ahead.items) {
      if (item.distance < 0) continue;
      const e = aheadElement(item);
      e.seen = aheadRound;
      const distance = item.distance.toFixed(1);
      if (distance !== e.distance) {
        e.distance = distance;
        e.element.dataset.aheadDistance = distance;
      }
      const y = Math.round(aheadY(item.distance));
      if (y !== e.y) {
        e.y = y;
        e.element.style.transform = `translateY(${-y}px)`;
      }
    }
    for (const [key, e] of aheadPool) {
      if (e.seen !== aheadRound) {
        e.element.remove();
        aheadPool.delete(key);
      }
    }
    drawGrades(location);
    const check = ahead.check;
    const station = ahead.station;
    const shownKey =
      (check ? check.kind + check.limit + '@' + Math.round(check.distance) : '') +
      '|' +
      (station ? station.at + '@' + Math.round(station.distance) : '');
    if (shownKey === figures.key) return;
    figures.key = shownKey;
    setText(
      figures.check,
      !check
        ? say('ahead.no-check')
        : check.kind === 'stop-signal'
          ? say('ahead.next-stop-signal', { distance: Math.round(check.distance) })
          : say('ahead.next-check', { limit: check.limit, distance: Math.round(check.distance) }),
    );
    setText(
      figures.station,
      station
        ? say('ahead.next-station', {
            name: station.name || say('ahead.station'),
            distance: Math.round(station.distance),
          })
        : say('ahead.no-station'),
    );
  }
  const figures = {
    check: { element: $('next-check') },
    station: { element: $('next-station') },
    key: null,
  };

  // The gradient profile: a band by stretch, rising brown, falling blue.
  const drawnGrades = [];
  function drawGrades(location) {
    const grades = $('grades');
    let k = 0;
    for (const g of ahead.gradients) {
      if (g.to <= location) continue;
      const bottom = Math.round(aheadY(g.from - location));
      const top = Math.round(aheadY(g.to - location));
      if (top - bottom < 1) continue;
      let d = drawnGrades[k];
      if (!d) {
        d = { element: document.createElement('div'), key: '' };
        grades.appendChild(d.element);
        drawnGrades[k] = d;
      }
      const key = bottom + ',' + top + ',' + g.permille;
      if (d.key !== key) {
        d.key = key;
        d.element.className = 'grade' + (g.permille > 0 ? ' up' : g.permille < 0 ? ' down' : '');
        d.element.style.bottom = bottom + 'px';
        d.element.style.height = top - bottom + 'px';
        d.element.textContent =
          g.permille === 0
            ? ''
            : say(g.permille > 0 ? 'ahead.grade-up' : 'ahead.grade-down', {
                permille: Math.abs(g.permille),
              });
      }
      ++k;
    }
    while (drawnGrades.length > k) drawnGrades.pop().element.remove();
    if (grades.children.length !== k) {
      grades.replaceChildren(...drawnGrades.map((d) => d.element));
    }
  }

  // --- The stop gauge --------------------------------------------------------

  const gauge = {
    root: $('stop'),
    words: { element: $('stop-words') },
    result: { element: $('stop-result') },
    needle: $('stop-needle'),
    metres: null,
    x: null,
    fine: null,
    resultClass: null,
    window: null,
  };
  // Where on the bar (0 to 1) a train `d` metres short of the mark is: the
  // first half from GAUGE_M down to FINE_M, the second the last FINE_M and
  // as far past the mark.
  function gaugeX(d) {
    if (d >= FINE_M) return (0.5 * (GAUGE_M - Math.min(d, GAUGE_M))) / (GAUGE_M - FINE_M);
    return 0.5 + (0.5 * (FINE_M - Math.max(d, -FINE_M))) / (2 * FINE_M);
  }
  // The gauge's scale: where the coarse half begins, the fine half, the mark
  // and as far past it.
  (function drawGaugeScale() {
    const m = say('unit.m');
    const marks = [
      [GAUGE_M, GAUGE_M + ' ' + m],
      [FINE_M, FINE_M + ' ' + m],
      [0, say('stop.mark')],
      [-FINE_M, say('stop.past', { metres: FINE_M })],
    ];
    for (const [d, text] of marks) {
      const label = document.createElement('span');
      label.style.left = gaugeX(d) * 100 + '%';
      label.textContent = text;
      $('stop-scale').appendChild(label);
    }
  })();
  function drawGauge(location, speed) {
    const station = ahead.items.find(
      (item) =>
        item.kind === 'station' && item.distance <= GAUGE_M && item.distance >= -GAUGE_PAST_M,
    );
    const d = station ? station.at - location : null;
    const metres = d === null ? '' : d.toFixed(2);
    if (metres !== gauge.metres) {
      gauge.metres = metres;
      gauge.root.dataset.stopMetres = metres;
    }
    if (!station) {
      setText(gauge.words, say('stop.far'));
      setText(gauge.result, '');
      setResultClass('');
      gauge.needle.style.visibility = 'hidden';
      return;
    }
    // The window either side of the mark, on the fine half; its width is
    // the module's.
    if (gauge.window !== station.window) {
      gauge.window = station.window;
      const w = $('stop-fine-window');
      const half = gaugeX(0) - gaugeX(station.window);
      w.style.left = (gaugeX(0) - half) * 100 + '%';
      w.style.width = 2 * half * 100 + '%';
    }
    gauge.needle.style.visibility = 'visible';
    const xAt = Math.round(gaugeX(d) * 1000) / 10;
    if (xAt !== gauge.x) {
      gauge.x = xAt;
      gauge.needle.style.left = xAt + '%';
    }
    const fine = Math.abs(d) <= FINE_M ? '1' : '0';
    if (fine !== gauge.fine) {
      gauge.fine = fine;
      gauge.root.dataset.fine = fine;
    }
    const figures = Math.abs(d) <= FINE_M ? 2 : 1;
    setText(
      gauge.words,
      (d >= 0
        ? say('stop.to-mark', { metres: Cab.fixed(d, figures) })
        : say('stop.past-mark', { metres: Cab.fixed(-d, figures) })) +
        ' · ' +
        say('stop.window', { window: station.window }),
    );
    if (speed === 0) {
      const inWindow = Math.abs(d) < station.window;
      const key = (d >= 0 ? 'stop.short-' : 'stop.past-') + (inWindow ? 'in' : 'out');
      let text = say(key, { metres: Cab.fixed(Math.abs(d), 1) });
      if (shown.panel(LAMP.window)) text += ' · ' + say('stop.lamp');
      setText(gauge.result, text);
      setResultClass(inWindow ? 'in' : 'out');
    } else {
      setText(gauge.result, '');
      setResultClass('');
    }
  }
  function setResultClass(name) {
    if (gauge.resultClass !== name) {
      gauge.resultClass = name;
      gauge.result.element.className = name;
    }
  }

  // --- The unit's state in words -----------------------------------------------

  // A key named by what it does, and on a keyboard by its key too.
  const KEY_HINTS = {
    on: ['key.on', 'I'],
    reset: ['key.reset', '3'],
    forward: ['key.forward', 'F'],
    release: ['key.release', 'S'],
    power: ['key.power', 'Q'],
    close: ['key.close', 'C'],
    open: ['key.open', 'O'],
  };
  function keyWords(name) {
    const [word, key] = KEY_HINTS[name];
    return touch ? say(word) : say(word) + ' (' + key + ')';
  }
  const KEYS_NAMED = Object.fromEntries(Object.keys(KEY_HINTS).map((k) => [k, keyWords(k)]));
  const unitWords = { element: $('say'), state: null };
  function sentence() {
    if (ended) return ['say.ended', null, 'normal'];
    if (saved.text !== null) return ['say.saved-run', null, 'normal'];
    if (status === NO_ROUTE || !x) return ['say.no-route', null, 'normal'];
    const v = frameViews();
    const panel = v.panel;
    const [brake, power, reverser, doorsClosed] = v.driver;
    const speed = v.train[2];
    const secured = reverser === 0 && power === 0 && brake >= emergencyNotch;
    const keys = KEYS_NAMED;
    if (autopilot) {
      const driver = say(running.careful ? 'say.driver.careful' : 'say.driver.route');
      return ['say.autopilot', { driver }, 'normal'];
    }
    if (panel[LAMP.off]) return [secured ? 'say.off' : 'say.off-secure', keys, 'warning'];
    if (panel[LAMP.tripped]) {
      const trip = new Float64Array(x.memory.buffer, x.page_trip(), A.PAGE_TRIP_LENGTH);
      const then = say(
        speed !== 0 ? 'say.trip-stand' : secured ? 'say.trip-reset' : 'say.trip-secure',
        keys,
      );
      const at = Cab.fixed(trip[1], 0);
      if (trip[0] > 0 && trip[2] > 0) {
        return [
          'say.tripped',
          { at, limit: trip[2], checked: Cab.fixed(trip[3], 1), then },
          'tripped',
        ];
      }
      if (trip[0] > 0) return ['say.tripped-other', { at, then }, 'tripped'];
      return ['say.tripped-unknown', { then }, 'tripped'];
    }
    if (panel[LAMP.warning] && panel[LAMP.emergency] && v.sound[SOUND_ALARM] !== STOP) {
      return ['say.warning', { notch: emergencyNotch - 1 }, 'warning'];
    }
    if (!doorsClosed) return ['say.doors-open', keys, 'normal'];
    // The unit's window lamp, at a station the gauge shows.
    const atStation = ahead.items.some(
      (item) => item.kind === 'station' && Math.abs(item.distance) <= FINE_M,
    );
    if (speed === 0 && atStation && panel[LAMP.window]) return ['say.in-window', keys, 'good'];
    if (reverser === 0) return ['say.reverser', keys, 'normal'];
    if (speed === 0 && brake > 0) return ['say.release', keys, 'normal'];
    if (speed > Cab.GOVERNOR_BRAKES) {
      return [
        'say.governor',
        { top: Cab.GOVERNOR_BRAKES, release: Cab.GOVERNOR_RELEASES },
        'warning',
      ];
    }
    const check = ahead.check;
    const station = ahead.station;
    if (check && check.kind === 'stop-signal' && check.distance < 400) {
      return ['say.stop-signal-ahead', { distance: Math.round(check.distance) }, 'warning'];
    }
    if (station && station.distance <= 400 && (!check || station.at <= check.at)) {
      const distance = Math.round(station.distance);
      if (!station.name) return ['say.station-ahead-unnamed', { distance }, 'normal'];
      return ['say.station-ahead', { name: station.name, distance }, 'normal'];
    }
    if (check && check.distance < 400 && speed > check.limit - 3) {
      const params = {
        limit: check.limit,
        distance: Math.round(check.distance),
        speed: Cab.fixed(speed, 0),
      };
      return ['say.limit-ahead', params, 'warning'];
    }
    if (speed === 0 && power === 0) return ['say.power', keys, 'normal'];
    if (speed === 0 && station === null && !check) return ['say.clear', null, 'normal'];
    if (check) return ['say.run-on', { limit: check.limit }, 'normal'];
    return ['say.clear', null, 'normal'];
  }
  function showWords() {
    const [key, params, state] = sentence();
    setText(unitWords, say(key, params));
    if (unitWords.state !== state) {
      unitWords.state = state;
      $('unit').dataset.state = state;
    }
  }

  // --- The levers ----------------------------------------------------------------

  // Each notch of a lever, top to bottom: 0 first.
  const levers = { power: { notches: [] }, brake: { notches: [] } };
  function buildLevers() {
    for (const name of ['power', 'brake']) {
      const lever = levers[name];
      const track = document.querySelector(`[data-lever="${name}"] .track`);
      const top = name === 'power' ? notches : emergencyNotch;
      lever.top = top;
      lever.track = track;
      lever.notches = [];
      lever.driver = null;
      lever.returned = null;
      track.replaceChildren();
      for (let n = 0; n <= top; ++n) {
        const notch = document.createElement('div');
        notch.className = 'notch' + (name === 'brake' && n === top ? ' emergency' : '');
        notch.dataset.notch = String(n);
        notch.textContent =
          n === 0
            ? say('control.off')
            : name === 'brake' && n === top
              ? say('control.eb')
              : String(n);
        track.appendChild(notch);
        lever.notches.push(notch);
      }
    }
  }
  function drawLevers(v) {
    const marks = {
      power: [v.driver[CAB.kDriverPower], v.handles[CAB.kHandlePower]],
      brake: [v.driver[CAB.kDriverBrake], v.handles[CAB.kHandleBrake]],
    };
    for (const name of ['power', 'brake']) {
      const lever = levers[name];
      const [driver, returned] = marks[name];
      if (driver !== lever.driver) {
        lever.notches[lever.driver]?.removeAttribute('data-driver');
        lever.driver = driver;
        lever.notches[driver]?.setAttribute('data-driver', '1');
      }
      const r = Math.min(Math.max(returned, 0), lever.top);
      if (r !== lever.returned) {
        lever.notches[lever.returned]?.removeAttribute('data-returned');
        lever.returned = r;
        lever.notches[r]?.setAttribute('data-returned', '1');
        lever.track.title = say('control.returned', { value: returned });
      }
    }
    for (const button of reverserButtons) {
      const pressed = String(button.value === v.driver[CAB.kDriverReverser]);
      if (button.element.getAttribute('aria-pressed') !== pressed) {
        button.element.setAttribute('aria-pressed', pressed);
      }
    }
  }
  const reverserButtons = [
    ['forward', 1],
    ['neutral', 0],
    ['back', -1],
  ].map(([name, value]) => ({
    element: document.querySelector(`#reverser [data-control="${name}"]`),
    value,
  }));

  function setNotch(name, notch) {
    if (autopilot || !canDrive()) return;
    const top = levers[name].top;
    const n = clamp(notch, 0, top);
    controls[name] = n;
    handle(CONTROL[name], n);
  }
  for (const name of ['power', 'brake']) {
    const root = document.querySelector(`[data-lever="${name}"]`);
    const track = root.querySelector('.track');
    const fromPointer = (e) => {
      const box = track.getBoundingClientRect();
      const f = (e.clientY - box.top) / box.height;
      setNotch(name, Math.floor(f * (levers[name].top + 1)));
    };
    track.addEventListener('pointerdown', (e) => {
      track.setPointerCapture(e.pointerId);
      fromPointer(e);
    });
    track.addEventListener('pointermove', (e) => {
      if (track.hasPointerCapture(e.pointerId)) fromPointer(e);
    });
    root.addEventListener(
      'wheel',
      (e) => {
        e.preventDefault();
        setNotch(name, controls[name] + Math.sign(e.deltaY));
      },
      { passive: false },
    );
  }

  // --- A saved run ---------------------------------------------------------------

  // Shows frame `k` of the saved run; `forward` follows its sound commands
  // (played on from the frame before), otherwise every sound stops.
  function showSaved(k, forward) {
    saved.frame = clamp(k, 0, Math.max(saved.frames - 1, 0));
    x.page_seek(saved.frame);
    draw(saved.frame, forward);
    $('seek').value = String(saved.frame);
    $('playback-frame').textContent = say('playback.frame', {
      frame: saved.frame,
      frames: saved.frames,
    });
    appendTimeline(cString(x.page_timeline()));
  }
  function setPlaying(on) {
    saved.playing = on && saved.frame < saved.frames - 1;
    saved.time = null;
    $('play').textContent = say(saved.playing ? 'playback.pause' : 'playback.play');
  }
  // Plays the saved run on by `real` ms of the page's clock, at the rate.
  function playOn(real) {
    if (saved.time === null) saved.time = frameViews().train[0];
    saved.time += real * clock.rate;
    while (saved.frame < saved.frames - 1) {
      x.page_seek(saved.frame + 1);
      const next = frameViews().train[0];
      if (next > saved.time) {
        x.page_seek(saved.frame);
        break;
      }
      showSaved(saved.frame + 1, true);
    }
    if (saved.frame >= saved.frames - 1) setPlaying(false);
  }
  // The saved run taken over at the frame shown: a fresh module gives its
  // inputs again up to there, and the person drives on.
  async function takeOver() {
    if (saved.text === null) return 'no saved run is open';
    const frame = saved.frame;
    const text = saved.text;
    await startAgain({ name: route.name, text });
    if (x.page_take_over(frame) !== 0) {
      const error = cString(x.page_error());
      showMessage(error, true);
      return error;
    }
    saved.text = null;
    $('playback').hidden = true;
    status = RUNNING;
    running.careful = $('autopilot-driver').value === 'careful';
    if (testing) x.page_test_fixed_step(1);
    $('timeline').replaceChildren();
    setAutopilot(false);
    readFrame();
    clock.last = null;
    showStatus();
    return '';
  }

  // --- Real time ------------------------------------------------------------

  const clock = { last: null, carry: 0, rate: 1, paused: false };
  let testing = false;
  let firstFrameAt = null;

  function tick(now) {
    requestAnimationFrame(tick);
    const playing = saved.text !== null && saved.playing;
    if (testing || clock.paused || (!playing && !canStep())) {
      clock.last = null;
      return;
    }
    if (clock.last === null) {
      clock.last = now;
      return;
    }
    const real = Math.max(now - clock.last, 0);
    clock.last = now;
    if (playing) {
      playOn(Math.min(real, MAX_STEP_MS));
      return;
    }
    const exact = Math.min(real * clock.rate + clock.carry, MAX_STEP_MS);
    const dt = Math.floor(exact);
    clock.carry = exact - dt;
    if (dt > 0) step(dt);
  }

  function setPaused(paused) {
    clock.paused = paused;
    clock.last = null;
    $('pause').textContent = say(paused ? 'run.go-on' : 'run.pause');
    showStatus();
  }
  function setRate(rate) {
    clock.rate = rate;
    for (const b of document.querySelectorAll('[data-rate]')) {
      b.setAttribute('aria-pressed', String(Number(b.dataset.rate) === rate));
    }
  }

  function showStatus() {
    let key;
    if (ended) key = 'status.ended';
    else if (saved.text !== null) key = 'status.saved-run';
    else if (status === NO_ROUTE) key = 'status.no-route';
    else if (boxShown) key = 'status.box';
    else if (status === ROUTE_ENDED) key = 'status.route-ended';
    else if (clock.paused) key = 'status.paused';
    else key = autopilot ? 'status.autopilot' : 'status.running';
    $('status').textContent = say(key);
  }
  function showMessage(text, isError) {
    const message = $('message');
    message.textContent = text;
    message.hidden = !text;
    message.classList.toggle('error', isError);
  }

  // --- The driver's controls -------------------------------------------------

  const f7 = { down: false };
  function showF7() {
    $('f7').textContent = say(f7.down ? 'f7.down' : 'f7.up');
    $('f7').dataset.down = f7.down ? '1' : '0';
  }
  // A tap shorter than a frame still counts: the module holds a press until
  // the unit's keyboard watch has read it once.
  function setF7(down) {
    f7.down = down;
    showF7();
    if (x && !ended) x.page_set_f7(down ? 1 : 0);
  }

  const clamp = (v, lo, hi) => Math.min(Math.max(v, lo), hi);
  function handle(control, value) {
    if (!canDrive()) return;
    x.page_control(control, value);
  }
  function canDrive() {
    return x && !ended && status !== NO_ROUTE;
  }
  // What each control does when pressed and, for those held, released.
  // `handles` marks the driver's handles, doors and keys, which are the
  // autopilot's while it drives.
  const pluginKey = (key) => ({
    handles: true,
    press: () => canDrive() && x.page_control(CONTROL.keyDown, key),
    release: () => canDrive() && x.page_control(CONTROL.keyUp, key),
  });
  const ACTIONS = {
    'power-up': { handles: true, press: () => setNotch('power', controls.power + 1) },
    'power-down': { handles: true, press: () => setNotch('power', controls.power - 1) },
    'brake-up': { handles: true, press: () => setNotch('brake', controls.brake + 1) },
    'brake-down': { handles: true, press: () => setNotch('brake', controls.brake - 1) },
    emergency: { handles: true, press: () => setNotch('brake', emergencyNotch) },
    forward: { handles: true, press: () => handle(CONTROL.reverser, (controls.reverser = 1)) },
    neutral: { handles: true, press: () => handle(CONTROL.reverser, (controls.reverser = 0)) },
    back: { handles: true, press: () => handle(CONTROL.reverser, (controls.reverser = -1)) },
    'doors-open': { handles: true, press: () => handle(CONTROL.doorOpen, 0) },
    'doors-close': { handles: true, press: () => handle(CONTROL.doorClose, 0) },
    horn: { press: () => handle(CONTROL.horn, 1), release: () => handle(CONTROL.horn, 0) },
    'key-0': pluginKey(CAB.kKeyDoorHold),
    'key-3': pluginKey(CAB.kKeyReset),
    'key-10': pluginKey(CAB.kKeySwitchOn),
    'key-11': pluginKey(CAB.kKeySwitchOff),
    f7: { press: () => setF7(true), release: () => setF7(false) },
  };
  // Keys by their place on the keyboard, whatever its layout.
  const KEYS = {
    KeyQ: 'power-up',
    KeyA: 'power-down',
    KeyW: 'brake-up',
    KeyS: 'brake-down',
    KeyE: 'emergency',
    KeyF: 'forward',
    KeyN: 'neutral',
    KeyB: 'back',
    KeyO: 'doors-open',
    KeyC: 'doors-close',
    KeyH: 'horn',
    Digit0: 'key-0',
    Numpad0: 'key-0',
    Digit3: 'key-3',
    Numpad3: 'key-3',
    KeyI: 'key-10',
    KeyU: 'key-11',
    F7: 'f7',
  };
  const PAGE_KEYS = {
    Space: () => setPaused(!clock.paused),
    KeyP: () => {
      $('autopilot').checked = !autopilot;
      setAutopilot(!autopilot);
    },
    KeyM: () => {
      $('sound').checked = !$('sound').checked;
      setSound($('sound').checked);
    },
  };

  // Held controls, so that each is released once, also when the page loses
  // the keyboard while one is down.
  const held = new Set();
  function press(name) {
    const action = ACTIONS[name];
    if (action.handles && autopilot) return;
    if (action.release) {
      if (held.has(name)) return;
      held.add(name);
    }
    action.press();
  }
  function release(name) {
    if (!held.delete(name)) return;
    ACTIONS[name].release();
  }

  document.addEventListener(
    'keydown',
    (e) => {
      // F7 is the unit's, never the browser's (caret browsing).
      if (e.code === 'F7') e.preventDefault();
      if (e.ctrlKey || e.altKey || e.metaKey) return;
      if (e.target instanceof HTMLSelectElement || e.target.type === 'range') return;
      const name = KEYS[e.code];
      // While the box is open only F7 counts: the unit reads the key itself,
      // also the moment the box is closed.
      if (boxShown && name !== 'f7') return;
      const pageKey = PAGE_KEYS[e.code];
      if (!name && !pageKey) return;
      e.preventDefault();
      if (e.repeat) return;
      if (name) press(name);
      else pageKey();
    },
    true,
  );
  document.addEventListener(
    'keyup',
    (e) => {
      const name = KEYS[e.code];
      if (!name) return;
      e.preventDefault();
      release(name);
    },
    true,
  );
  window.addEventListener('blur', () => {
    for (const name of [...held]) release(name);
  });

  for (const button of document.querySelectorAll('[data-control]')) {
    const name = button.dataset.control;
    button.addEventListener('pointerdown', (e) => {
      button.setPointerCapture(e.pointerId);
      press(name);
    });
    for (const kind of ['pointerup', 'pointercancel', 'lostpointercapture']) {
      button.addEventListener(kind, () => release(name));
    }
    // A button worked from the keyboard (Enter) presses and lets go at once.
    button.addEventListener('click', (e) => {
      if (e.detail !== 0) return;
      press(name);
      release(name);
    });
  }

  function setAutopilot(on) {
    autopilot = on;
    $('autopilot').checked = on;
    for (const button of document.querySelectorAll('[data-control]')) {
      button.disabled = on && Boolean(ACTIONS[button.dataset.control].handles);
    }
    if (on) for (const name of [...held]) if (ACTIONS[name].handles) release(name);
    if (canDrive()) x.page_control(CONTROL.autopilot, on ? 1 : 0);
    showStatus();
    if (x) showWords();
  }
  function setSound(on) {
    if (on) CabAudio.enable();
    else CabAudio.disable();
  }

  // --- The run's files -------------------------------------------------------

  let csvAddress = null;
  function download(name, text) {
    const address = URL.createObjectURL(new Blob([text], { type: 'text/plain' }));
    const link = document.createElement('a');
    link.href = address;
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(address), 0);
  }
  function save() {
    if (!x || (status === NO_ROUTE && saved.text === null)) return;
    download('drive-scenario.txt', cString(x.page_scenario()));
    if (csvAddress) URL.revokeObjectURL(csvAddress);
    csvAddress = URL.createObjectURL(new Blob([cString(x.page_csv())], { type: 'text/csv' }));
    $('csv').href = csvAddress;
    $('csv').hidden = false;
  }

  async function openFile(file) {
    if (!file) return;
    // The file's own bytes: the parser judges its encoding, as atshost's does.
    await open({ name: file.name, text: new Uint8Array(await file.arrayBuffer()) });
  }

  // --- Wiring -----------------------------------------------------------------

  $('pause').addEventListener('click', () => setPaused(!clock.paused));
  for (const b of document.querySelectorAll('[data-rate]')) {
    b.addEventListener('click', () => setRate(Number(b.dataset.rate)));
  }
  $('autopilot').addEventListener('change', (e) => setAutopilot(e.target.checked));
  $('autopilot-driver').addEventListener('change', (e) => {
    if (x) x.page_autopilot_driver(DRIVERS[e.target.value]);
    showMessage(say('run.driver-note'), false);
  });
  $('sound').addEventListener('change', (e) => setSound(e.target.checked));
  $('open').addEventListener('change', (e) => openFile(e.target.files[0]));
  $('demo').addEventListener('click', () => open(DEMO));
  $('save').addEventListener('click', save);
  $('ended-save').addEventListener('click', save);
  $('again').addEventListener('click', () => startAgain());
  $('details-switch').addEventListener('change', (e) => {
    $('details').hidden = !e.target.checked;
  });
  $('play').addEventListener('click', () => setPlaying(!saved.playing));
  $('seek').addEventListener('input', (e) => {
    setPlaying(false);
    showSaved(Number(e.target.value), false);
  });
  $('take-over').addEventListener('click', () => takeOver());
  $('warning').addEventListener('close', () => {
    boxShown = false;
    clock.last = null;
    showStatus();
  });
  document.addEventListener('dragover', (e) => e.preventDefault());
  document.addEventListener('drop', (e) => {
    e.preventDefault();
    openFile(e.dataTransfer.files[0]);
  });

  // For tests and the benchmark: frames of exactly 20 ms, run when asked
  // instead of in real time.
  window.drivePage = {
    fixedStep(on) {
      testing = on;
      x.page_test_fixed_step(on ? 1 : 0);
    },
    // Up to `frames` frames, each drawn; fewer if the run stops.
    advance(frames) {
      for (let k = 0; k < frames && canStep(); ++k) step(0);
      return { status: ended ? SESSION_ENDED : status, box: boxShown };
    },
    // The last frame's train: time ms, location m, speed km/h, bc, mr,
    // current, exactly.
    train: () => Array.from(frameViews().train),
    csv: () => cString(x.page_csv()),
    // The text "save" writes.
    scenario: () => cString(x.page_scenario()),
    // A saved run's text opened as a file is: 'run' once open.
    openRun(text) {
      openRoute({ name: 'drive-scenario.txt', text: new TextEncoder().encode(text) });
      return saved.text !== null ? 'run' : $('message').textContent;
    },
    seek(frame) {
      setPlaying(false);
      showSaved(frame, false);
      return saved.frame;
    },
    // Resolves to '' once taken over, or to why not.
    takeOver: () => takeOver(),
    sounds: () => CabAudio.modes(),
    firstFrameAt: () => firstFrameAt,
  };

  startAgain(DEMO).then(
    () => requestAnimationFrame(tick),
    (error) => showMessage(say('error.module', { error }), true),
  );
})();
