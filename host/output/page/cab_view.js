// The cab view: replays a run frame by frame from the data atshost put into
// the page. Every panel, sound and returned-handle element carries the value
// of the frame shown in data-value, exactly as the trace has it.
'use strict';

(function () {
  const run = JSON.parse(document.getElementById('run-data').textContent);
  const count = run.count;

  const RATES = [1, 5, 20];
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
      if (at[mid] <= position) lo = mid;
      else hi = mid - 1;
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
  const cab = Cab.create(document.getElementById('cab'));
  const fixed = Cab.fixed;
  const soundElements = Array.from(document.querySelectorAll('[data-sound]'), (element) => ({
    element,
    column: sound[element.dataset.sound],
  }));
  // Each lamp and sound names its index on hover, and all of them at once
  // behind the indices toggle.
  for (const element of document.querySelectorAll('[data-panel]')) {
    element.title = `panel ${element.dataset.panel}`;
  }
  for (const { element } of soundElements) element.title = `sound ${element.dataset.sound}`;
  const indices = $('indices');
  indices.addEventListener('click', () => {
    const on = document.body.classList.toggle('show-indices');
    indices.setAttribute('aria-pressed', String(on));
  });
  const svg = Cab.svg;

  // The frame at `position`, as the cab reads it.
  let position = 0;
  const shown = {
    panel: (index) => valueAt(panel[index], position),
    sound: (index) => valueAt(sound[index], position),
    handle: (k) => valueAt(handles[Cab.HANDLES[k]], position),
    driver: (k) => valueAt(host[Cab.DRIVER[k]], position),
    emergencyNotch: 0,
    speed: 0,
    bc: 0,
    mr: 0,
    current: 0,
  };

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
    if (li) {
      pause();
      show(Number(li.dataset.position));
    }
  });
  let currentLine = -1;

  const plot = run.plot;
  const chart = document.querySelector('#chart svg');
  const cursor = chart
    ? svg(chart, 'line', {
        class: 'cursor',
        y1: plot.top,
        y2: plot.bottom,
        x1: plot.left,
        x2: plot.left,
      })
    : null;
  function plotValue(position) {
    return plot.distance ? metres[position] : time[position] / 1000;
  }

  // --- Showing a frame ------------------------------------------------------

  const slider = $('slider');
  slider.max = String(Math.max(count - 1, 0));

  function render() {
    const p = position;
    $('frame').textContent = String(run.first + p);
    $('time').textContent = fixed(time[p] / 1000, 3);
    $('location').textContent = fixed(metres[p], 1);
    $('events').textContent = events.get(p) || '–';
    shown.emergencyNotch = valueAt(emergency, p);
    shown.speed = speed[p];
    shown.bc = bc[p];
    shown.mr = mr[p];
    shown.current = current[p];
    cab.render(shown);
    // Beside the command a sound holds, the frame that last started it.
    for (const { element, column } of soundElements) {
      const started = valueAt(column, p) === ATS.ATS_SOUND_STOP ? null : startedAt(column, p);
      element.dataset.since = started === null ? '' : ` · from frame ${run.first + started}`;
    }

    slider.value = String(p);
    renderTimeline(p);
    if (cursor) {
      const x =
        plot.left + ((plotValue(p) - plot.lo) / (plot.hi - plot.lo)) * (plot.right - plot.left);
      const shown = Number.isFinite(x);
      const clamped = shown ? Math.min(Math.max(x, plot.left), plot.right) : plot.left;
      cursor.setAttribute('x1', clamped);
      cursor.setAttribute('x2', clamped);
      cursor.setAttribute('visibility', shown ? 'visible' : 'hidden');
    }
    Cab.showFrame(run.first + p);
  }

  function renderTimeline(p) {
    // The last line at or before this frame.
    let lo = 0;
    let hi = lineAt.length - 1;
    let found = -1;
    while (lo <= hi) {
      const mid = (lo + hi) >> 1;
      if (lineAt[mid] <= p) {
        found = mid;
        lo = mid + 1;
      } else hi = mid - 1;
    }
    if (found === currentLine) return;
    if (currentLine >= 0) lineItems[currentLine].classList.remove('current');
    currentLine = found;
    if (found < 0) return;
    const li = lineItems[found];
    li.classList.add('current');
    const top = li.offsetTop;
    if (
      top < timelineList.scrollTop ||
      top + li.offsetHeight > timelineList.scrollTop + timelineList.clientHeight
    ) {
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
    if (p !== null) {
      pause();
      addressShown = window.location.hash;
      show(p);
    }
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
    if (p >= count - 1) pause();
    else requestAnimationFrame(tick);
  }
  function setRate(r) {
    rate = r;
    for (const b of document.querySelectorAll('[data-rate]')) {
      b.setAttribute('aria-pressed', String(Number(b.dataset.rate) === r));
    }
    if (playing) {
      anchorWall = performance.now();
      anchorTime = time[position];
    }
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
    $(id).addEventListener('click', () => {
      pause();
      act();
    });
  }
  $('play').addEventListener('click', () => (playing ? pause() : play()));
  for (const b of document.querySelectorAll('[data-rate]')) {
    b.addEventListener('click', () => setRate(Number(b.dataset.rate)));
  }
  slider.addEventListener('input', () => {
    pause();
    show(Number(slider.value));
  });
  if (chart) {
    chart.addEventListener('click', (e) => {
      const matrix = chart.getScreenCTM();
      if (!matrix || count === 0) return;
      const point = new DOMPoint(e.clientX, e.clientY).matrixTransform(matrix.inverse());
      const value =
        plot.lo + ((point.x - plot.left) / (plot.right - plot.left)) * (plot.hi - plot.lo);
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
    ArrowLeft: () => {
      pause();
      actions.back();
    },
    ArrowRight: () => {
      pause();
      actions.forward();
    },
    ArrowUp: () => {
      pause();
      actions['prev-change']();
    },
    ArrowDown: () => {
      pause();
      actions['next-change']();
    },
    Home: () => {
      pause();
      actions.first();
    },
    End: () => {
      pause();
      actions.last();
    },
  };
  document.addEventListener(
    'keydown',
    (e) => {
      if (e.ctrlKey || e.altKey || e.metaKey) return;
      const act = keys[e.key];
      if (!act) return;
      // The page's own keys, also while the slider or a button has the focus.
      e.preventDefault();
      act();
    },
    true,
  );

  // --- Start ----------------------------------------------------------------

  if (count === 0) {
    $('events').textContent = 'no frames were run';
    for (const b of document.querySelectorAll('#controls button, #slider')) b.disabled = true;
    indices.disabled = false;
    document.body.dataset.frame = '';
    return;
  }
  const start = positionFromAddress(window.location.hash);
  position = Math.min(Math.max(start === null ? 0 : start, 0), count - 1);
  render();
})();
