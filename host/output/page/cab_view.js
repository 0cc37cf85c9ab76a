// The cab view: replays a run frame by frame from the data atshost put into
// the page. Every panel, sound and returned-handle element carries the value
// of the frame shown in data-value, exactly as the trace has it.
'use strict';

(function () {
  const run = JSON.parse(document.getElementById('run-data').textContent);
  const count = run.count;

  // Sound commands, as the host reads them.
  const SOUND_WORDS = { '-10000': 'stop', '0': 'play looping', '1': 'play once', '2': 'continue' };
  const RATES = [1, 5, 20];
  const DIAL_TOP_SPEED = 120;   // km/h at the end of the dial
  const DIAL_SWEEP = 240;       // degrees from 0 to the top speed
  const GOVERNOR_BRAKES = 76;   // km/h, drawn on the dial
  const ADDRESS_EVERY_MS = 250; // browsers throttle pages that rewrite their address too often

  // --- The run's data ------------------------------------------------------

  // A number sent every frame, written as steps between values rounded to
  // 1/scale: a number is one step, [n, step] n equal steps, a string a value
  // given exactly that the steps do not touch.
  function decodeSteps({ scale, steps: items }) {
    const values = new Float64Array(count);
    let at = 0;
    let base = 0;
    for (const item of items) {
      if (typeof item === 'string') {
        values[at++] = Number(item);
      } else if (Array.isArray(item)) {
        for (let k = 0; k < item[0]; ++k) {
          base += item[1];
          values[at++] = base / scale;
        }
      } else {
        base += item;
        values[at++] = base / scale;
      }
    }
    return values;
  }

  // A whole number written where it changes: [frames since the last change,
  // value, ...]. Read back by a binary search for the frame.
  function decodeChanges(flat) {
    const n = flat.length / 2;
    const at = new Int32Array(n);
    const value = new Int32Array(n);
    let position = 0;
    for (let k = 0; k < n; ++k) {
      position += flat[2 * k];
      at[k] = position;
      value[k] = flat[2 * k + 1];
    }
    return { at, value };
  }

  function valueAt(column, position) {
    const at = column.at;
    let lo = 0;
    let hi = at.length - 1;
    if (hi < 0) return 0;
    while (lo < hi) {
      const mid = (lo + hi + 1) >> 1;
      if (at[mid] <= position) lo = mid; else hi = mid - 1;
    }
    return column.value[lo];
  }

  // The frame in which the sound playing at `position` was last started (a
  // play command, once or looping), or null if none was sent yet.
  function startedAt(column, position) {
    const at = column.at;
    let k = at.length - 1;
    while (k >= 0 && at[k] > position) --k;
    for (; k >= 0; --k) {
      if (column.value[k] === 0 || column.value[k] === 1) return at[k];
    }
    return null;
  }

  function decodeGroup(group) {
    const out = {};
    for (const key of Object.keys(group)) out[key] = decodeChanges(group[key]);
    return out;
  }

  const time = decodeSteps(run.time);
  const metres = decodeSteps(run.location);
  const speed = decodeSteps(run.speed);
  const bc = decodeSteps(run.bc);
  const mr = decodeSteps(run.mr);
  const current = decodeSteps(run.current);
  const emergency = decodeChanges(run.emergency);
  const host = decodeGroup(run.host);
  const handles = decodeGroup(run.handles);
  const panel = decodeGroup(run.panel);
  const sound = decodeGroup(run.sound);

  const events = new Map();
  for (let k = 0; k < run.events.length; k += 2) events.set(run.events[k], run.events[k + 1]);

  // Frames in which the cab changed (a panel, sound or returned-handle value)
  // or the host gave events: where "previous/next change" stops.
  const changed = new Uint8Array(count);
  for (const group of [handles, panel, sound]) {
    for (const column of Object.values(group)) {
      for (const at of column.at) if (at > 0) changed[at] = 1;
    }
  }
  for (const at of events.keys()) changed[at] = 1;

  // --- The cab ------------------------------------------------------------

  const $ = (id) => document.getElementById(id);
  const panelElements = Array.from(document.querySelectorAll('[data-panel]'), (element) => ({
    element,
    column: panel[element.dataset.panel],
    isDigits: element.tagName === 'OUTPUT',
    isChip: element.classList.contains('chip'),
  }));
  const soundElements = Array.from(document.querySelectorAll('[data-sound]'), (element) => ({
    element,
    column: sound[element.dataset.sound],
  }));
  const handleElements = Array.from(document.querySelectorAll('[data-handle]'), (element) => ({
    element,
    name: element.dataset.handle,
    column: handles[element.dataset.handle],
  }));
  const driverElements = Array.from(document.querySelectorAll('[data-driver]'), (element) => ({
    element,
    name: element.dataset.driver,
    column: host[element.dataset.driver],
  }));

  function brakeWords(v, emergencyNotch) {
    if (v === 0) return 'released';
    return v >= emergencyNotch ? v + ' emergency' : String(v);
  }
  function handleWords(name, v, emergencyNotch) {
    switch (name) {
      case 'brake': return brakeWords(v, emergencyNotch);
      case 'power': return v === 0 ? 'off' : 'notch ' + v;
      case 'reverser': return v > 0 ? 'forward' : v < 0 ? 'backward' : 'neutral';
      case 'constant-speed': return v === 1 ? 'on' : v === 2 ? 'off' : '–';
      case 'doors_closed': return v ? 'closed' : 'open';
      default: return String(v);
    }
  }

  // A value that rounds to zero prints without a sign, as in the timeline.
  function fixed(v, decimals) {
    if (!Number.isFinite(v)) return String(v);
    const text = v.toFixed(decimals);
    return /^-0(\.0*)?$/.test(text) ? text.slice(1) : text;
  }

  // The speed dial: ticks every 10 km/h, the governor's mark, a needle.
  const SVG_NS = 'http://www.w3.org/2000/svg';
  function svg(parent, name, attributes) {
    const element = document.createElementNS(SVG_NS, name);
    for (const [key, value] of Object.entries(attributes)) element.setAttribute(key, value);
    parent.appendChild(element);
    return element;
  }
  function dialAngle(kmh) {
    const clamped = Math.min(Math.max(kmh, 0), DIAL_TOP_SPEED);
    return ((-DIAL_SWEEP / 2 + (clamped / DIAL_TOP_SPEED) * DIAL_SWEEP) * Math.PI) / 180;
  }
  const dial = $('dial');
  svg(dial, 'circle', { class: 'face', r: 100 });
  for (let v = 0; v <= DIAL_TOP_SPEED; v += 5) {
    const a = dialAngle(v);
    const major = v % 20 === 0;
    const inner = major ? 80 : 87;
    svg(dial, 'line', {
      class: major ? 'tick major' : 'tick',
      x1: inner * Math.sin(a), y1: -inner * Math.cos(a),
      x2: 95 * Math.sin(a), y2: -95 * Math.cos(a),
    });
    if (major) {
      const label = svg(dial, 'text', { class: 'label', x: 66 * Math.sin(a), y: -66 * Math.cos(a) });
      label.textContent = String(v);
    }
  }
  {
    const a0 = dialAngle(GOVERNOR_BRAKES);
    const a1 = dialAngle(DIAL_TOP_SPEED);
    const r = 97;
    svg(dial, 'path', {
      class: 'governor',
      d: `M ${r * Math.sin(a0)} ${-r * Math.cos(a0)} A ${r} ${r} 0 0 1 ${r * Math.sin(a1)} ${-r * Math.cos(a1)}`,
    });
  }
  const needle = svg(dial, 'line', { class: 'needle', x1: 0, y1: 0, x2: 0, y2: -85 });
  svg(dial, 'circle', { class: 'hub', r: 6 });

  // --- The timeline and the chart -------------------------------------------

  const timelineList = $('timeline');
  const lineAt = [];
  const lineItems = [];
  for (let k = 0; k < run.timeline.length; k += 2) {
    const li = document.createElement('li');
    li.textContent = run.timeline[k + 1];
    li.dataset.position = run.timeline[k];
    lineAt.push(run.timeline[k]);
    lineItems.push(li);
    timelineList.appendChild(li);
  }
  timelineList.addEventListener('click', (e) => {
    const li = e.target.closest('li');
    if (li) { pause(); show(Number(li.dataset.position)); }
  });
  let currentLine = -1;

  const plot = run.plot;
  const chart = document.querySelector('#chart svg');
  const cursor = chart
    ? svg(chart, 'line', { class: 'cursor', y1: plot.top, y2: plot.bottom, x1: plot.left, x2: plot.left })
    : null;
  function plotValue(position) {
    return plot.distance ? metres[position] : time[position] / 1000;
  }

  // --- Showing a frame ------------------------------------------------------

  const slider = $('slider');
  slider.max = String(Math.max(count - 1, 0));
  let position = 0;

  function render() {
    const p = position;
    $('frame').textContent = String(run.first + p);
    $('time').textContent = fixed(time[p] / 1000, 3);
    $('location').textContent = fixed(metres[p], 1);
    $('events').textContent = events.get(p) || '–';
    $('speed').textContent = fixed(speed[p], 1);
    $('bc').textContent = fixed(bc[p], 0);
    $('mr').textContent = fixed(mr[p], 0);
    $('current').textContent = fixed(current[p], 0);
    needle.setAttribute('transform', `rotate(${(dialAngle(Math.abs(speed[p]) || 0) * 180) / Math.PI})`);

    const blank = valueAt(panel['201'], p) !== 0;
    for (const { element, column, isDigits, isChip } of panelElements) {
      const v = valueAt(column, p);
      element.dataset.value = v;
      if (isDigits) {
        element.textContent = element.dataset.panel === '200' && blank ? '' : String(v);
      } else if (isChip) {
        element.textContent = element.dataset.panel + ': ' + v;
      }
    }
    for (const { element, column } of soundElements) {
      const v = valueAt(column, p);
      element.dataset.value = v;
      const started = v === -10000 ? null : startedAt(column, p);
      element.dataset.word =
        (SOUND_WORDS[v] || String(v)) + (started === null ? '' : ` · from frame ${run.first + started}`);
    }
    const emergencyNotch = valueAt(emergency, p);
    const driver = {};
    for (const { element, name, column } of driverElements) {
      driver[name] = valueAt(column, p);
      element.textContent = handleWords(name, driver[name], emergencyNotch);
    }
    for (const { element, name, column } of handleElements) {
      const v = valueAt(column, p);
      element.dataset.value = v;
      element.textContent = handleWords(name, v, emergencyNotch);
      // The plug-in put another position in place of the driver's.
      element.classList.toggle('overridden', name in driver && driver[name] !== v);
    }

    slider.value = String(p);
    renderTimeline(p);
    if (cursor) {
      const x = plot.left + ((plotValue(p) - plot.lo) / (plot.hi - plot.lo)) * (plot.right - plot.left);
      const shown = Number.isFinite(x);
      const clamped = shown ? Math.min(Math.max(x, plot.left), plot.right) : plot.left;
      cursor.setAttribute('x1', clamped);
      cursor.setAttribute('x2', clamped);
      cursor.setAttribute('visibility', shown ? 'visible' : 'hidden');
    }
    document.body.dataset.frame = String(run.first + p);
  }

  function renderTimeline(p) {
    // The last line at or before this frame.
    let lo = 0;
    let hi = lineAt.length - 1;
    let found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (lineAt[mid] <= p) { found = mid; lo = mid + 1; } else hi = mid - 1;
    }
    if (found === currentLine) return;
    if (currentLine >= 0) lineItems[currentLine].classList.remove('current');
    currentLine = found;
    if (found < 0) return;
    const li = lineItems[found];
    li.classList.add('current');
    const top = li.offsetTop;
    if (top < timelineList.scrollTop || top + li.offsetHeight > timelineList.scrollTop + timelineList.clientHeight) {
      timelineList.scrollTop = top - timelineList.clientHeight / 3;
    }
  }

  function show(p) {
    if (count === 0) return;
    position = Math.min(Math.max(Math.trunc(p) || 0, 0), count - 1);
    render();
    keepAddress();
  }

  // --- The address ----------------------------------------------------------

  let addressTimer = 0;
  let addressShown = '';
  function writeAddress() {
    addressTimer = 0;
    const hash = '#frame=' + (run.first + position);
    if (hash === addressShown) return;
    addressShown = hash;
    history.replaceState(null, '', hash);
  }
  function keepAddress() {
    if (!addressTimer) addressTimer = setTimeout(writeAddress, ADDRESS_EVERY_MS);
  }

  // "#frame=N" (the trace's frame number) or "#t=SECONDS" (host time: the
  // frame shown at that moment).
  function positionFromAddress(hash) {
    const frame = /^#frame=(-?\d+)$/.exec(hash);
    if (frame) return Number(frame[1]) - run.first;
    const t = /^#t=(-?[\d.]+(?:e-?\d+)?)$/.exec(hash);
    if (t) return positionAtTime(Number(t[1]) * 1000);
    return null;
  }
  // The frame with the latest host time not after `ms`, the last of equal
  // ones (a scripted run's time may also stand still or go back).
  function positionAtTime(ms) {
    let best = 0;
    let found = false;
    for (let p = 0; p < count; ++p) {
      if (time[p] <= ms && (!found || time[p] >= time[best])) {
        best = p;
        found = true;
      }
    }
    return best;
  }
  window.addEventListener('hashchange', () => {
    const p = positionFromAddress(window.location.hash);
    if (p !== null) { pause(); addressShown = window.location.hash; show(p); }
  });

  // --- Playing --------------------------------------------------------------

  let rate = RATES[0];
  let playing = false;
  let anchorWall = 0;
  let anchorTime = 0;
  function play() {
    if (count === 0) return;
    if (position >= count - 1) show(0);
    playing = true;
    anchorWall = performance.now();
    anchorTime = time[position];
    $('play').textContent = 'pause';
    requestAnimationFrame(tick);
  }
  function pause() {
    playing = false;
    $('play').textContent = 'play';
  }
  function tick(now) {
    if (!playing) return;
    const target = anchorTime + (now - anchorWall) * rate;
    let p = position;
    while (p + 1 < count && time[p + 1] <= target) ++p;
    if (p !== position) show(p);
    if (p >= count - 1) pause(); else requestAnimationFrame(tick);
  }
  function setRate(r) {
    rate = r;
    for (const b of document.querySelectorAll('[data-rate]')) {
      b.setAttribute('aria-pressed', String(Number(b.dataset.rate) === r));
    }
    if (playing) { anchorWall = performance.now(); anchorTime = time[position]; }
  }

  function nextChange(direction) {
    for (let p = position + direction; p >= 0 && p < count; p += direction) {
      if (changed[p]) return p;
    }
    return direction > 0 ? count - 1 : 0;
  }

  // --- Controls -------------------------------------------------------------

  const actions = {
    first: () => show(0),
    last: () => show(count - 1),
    back: () => show(position - 1),
    forward: () => show(position + 1),
    'prev-change': () => show(nextChange(-1)),
    'next-change': () => show(nextChange(1)),
  };
  for (const [id, act] of Object.entries(actions)) {
    $(id).addEventListener('click', () => { pause(); act(); });
  }
  $('play').addEventListener('click', () => (playing ? pause() : play()));
  for (const b of document.querySelectorAll('[data-rate]')) {
    b.addEventListener('click', () => setRate(Number(b.dataset.rate)));
  }
  slider.addEventListener('input', () => { pause(); show(Number(slider.value)); });
  if (chart) {
    chart.addEventListener('click', (e) => {
      const matrix = chart.getScreenCTM();
      if (!matrix || count === 0) return;
      const point = new DOMPoint(e.clientX, e.clientY).matrixTransform(matrix.inverse());
      const value = plot.lo + ((point.x - plot.left) / (plot.right - plot.left)) * (plot.hi - plot.lo);
      pause();
      if (plot.distance) {
        let p = 0;
        while (p + 1 < count && !(metres[p] >= value)) ++p;
        show(p);
      } else {
        show(positionAtTime(value * 1000));
      }
    });
  }

  const keys = {
    ' ': () => (playing ? pause() : play()),
    ArrowLeft: () => { pause(); actions.back(); },
    ArrowRight: () => { pause(); actions.forward(); },
    ArrowUp: () => { pause(); actions['prev-change'](); },
    ArrowDown: () => { pause(); actions['next-change'](); },
    Home: () => { pause(); actions.first(); },
    End: () => { pause(); actions.last(); },
  };
  document.addEventListener('keydown', (e) => {
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    const act = keys[e.key];
    if (!act) return;
    // The page's own keys, also while the slider or a button has the focus.
    e.preventDefault();
    act();
  }, true);

  // Each lamp names its panel index on hover, and all of them at once behind
  // the indices toggle.
  for (const { element } of panelElements) element.title = `panel ${element.dataset.panel}`;
  for (const { element } of soundElements) element.title = `sound ${element.dataset.sound}`;
  const indices = $('indices');
  if (indices) {
    indices.addEventListener('click', () => {
      const on = document.body.classList.toggle('show-indices');
      indices.setAttribute('aria-pressed', String(on));
    });
  }

  // --- Start ----------------------------------------------------------------

  if (count === 0) {
    $('events').textContent = 'no frames were run';
    for (const b of document.querySelectorAll('#controls button, #slider')) b.disabled = true;
    if (indices) indices.disabled = false;
    document.body.dataset.frame = '';
    return;
  }
  const start = positionFromAddress(window.location.hash);
  position = Math.min(Math.max(start === null ? 0 : start, 0), count - 1);
  render();
})();
