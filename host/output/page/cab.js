// The cab, drawn from one frame's values: lamps, bar meters, the door
// counter, the speed dial, the handles and the sounds. Shared by the cab view
// (a finished run played back) and the driving page (a run being driven).
// Every panel, sound and returned-handle element carries the value it shows
// in data-value, exactly as the trace has it; the frame shown is in
// document.body.dataset.frame.
'use strict';

const Cab = (function () {
  // Every word the cab shows is the catalogue's (words.js).
  const say = Words.say;
  // The handles the plug-in returns and the driver's own (the cab's
  // data-handle and data-driver names), in the order the frame gives them.
  const HANDLES = [];
  HANDLES[CAB.kHandleBrake] = 'brake';
  HANDLES[CAB.kHandlePower] = 'power';
  HANDLES[CAB.kHandleReverser] = 'reverser';
  HANDLES[CAB.kHandleConstantSpeed] = 'constant-speed';
  const DRIVER = [];
  DRIVER[CAB.kDriverBrake] = 'brake';
  DRIVER[CAB.kDriverPower] = 'power';
  DRIVER[CAB.kDriverReverser] = 'reverser';
  DRIVER[CAB.kDriverDoorsClosed] = 'doors_closed';
  const COUNTER = CAB.kPanelCounter; // the door counter's digits
  const COUNTER_BLANK = CAB.kPanelCounterBlank; // the counter shows nothing while this is lit
  const DIAL_TOP_SPEED = 120; // km/h at the end of the dial
  const DIAL_SWEEP = 240; // degrees from 0 to the top speed
  const GOVERNOR_BRAKES = CAB.kGovernorBrakesKmh; // km/h, drawn on the dial: the governor brakes above it
  const GOVERNOR_RELEASES = CAB.kGovernorReleasesKmh; // km/h, drawn on the dial: and lets go below it
  const SVG_NS = 'http://www.w3.org/2000/svg';

  // A value that rounds to zero prints without a sign, as in the timeline.
  function fixed(v, decimals) {
    if (!Number.isFinite(v)) return String(v);
    const text = v.toFixed(decimals);
    return /^-0(\.0*)?$/.test(text) ? text.slice(1) : text;
  }

  function brakeWords(v, emergencyNotch) {
    if (v === 0) return say('cab.brake.released');
    return v >= emergencyNotch ? say('cab.brake.emergency', { notch: v }) : String(v);
  }
  function handleWords(name, v, emergencyNotch) {
    switch (name) {
      case 'brake':
        return brakeWords(v, emergencyNotch);
      case 'power':
        return v === 0 ? say('cab.power.off') : say('cab.power.notch', { notch: v });
      case 'reverser':
        return say(
          v > 0 ? 'cab.reverser.forward' : v < 0 ? 'cab.reverser.backward' : 'cab.reverser.neutral',
        );
      case 'constant-speed':
        return v === 1
          ? say('cab.constant-speed.on')
          : v === 2
            ? say('cab.constant-speed.off')
            : '–';
      case 'doors_closed':
        return say(v ? 'cab.doors.closed' : 'cab.doors.open');
      default:
        return String(v);
    }
  }

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

  // The speed dial: ticks every 5 km/h, labels every 20, the governor's
  // mark, a needle. Returns the needle.
  function drawDial(dial) {
    svg(dial, 'circle', { class: 'face', r: 100 });
    for (let v = 0; v <= DIAL_TOP_SPEED; v += 5) {
      const a = dialAngle(v);
      const major = v % 20 === 0;
      const inner = major ? 80 : 87;
      svg(dial, 'line', {
        class: major ? 'tick major' : 'tick',
        x1: inner * Math.sin(a),
        y1: -inner * Math.cos(a),
        x2: 95 * Math.sin(a),
        y2: -95 * Math.cos(a),
      });
      if (major) {
        const label = svg(dial, 'text', {
          class: 'label',
          x: 66 * Math.sin(a),
          y: -66 * Math.cos(a),
        });
        label.textContent = String(v);
      }
    }
    const a0 = dialAngle(GOVERNOR_BRAKES);
    const a1 = dialAngle(DIAL_TOP_SPEED);
    const r = 97;
    svg(dial, 'path', {
      class: 'governor',
      d: `M ${r * Math.sin(a0)} ${-r * Math.cos(a0)} A ${r} ${r} 0 0 1 ${r * Math.sin(a1)} ${-r * Math.cos(a1)}`,
    });
    const b = dialAngle(GOVERNOR_RELEASES);
    svg(dial, 'line', {
      class: 'governor-release',
      x1: 88 * Math.sin(b),
      y1: -88 * Math.cos(b),
      x2: 100 * Math.sin(b),
      y2: -100 * Math.cos(b),
    });
    // The limit in force or coming, turned to its place each frame.
    const limit = svg(dial, 'g', { class: 'limit', visibility: 'hidden' });
    svg(limit, 'path', { d: 'M 0 -100 L -6 -110 L 6 -110 Z' });
    const needle = svg(dial, 'line', { class: 'needle', x1: 0, y1: 0, x2: 0, y2: -85 });
    svg(dial, 'circle', { class: 'hub', r: 6 });
    return { needle, limit };
  }

  // An element's text and data-value are written only when they change: a
  // driven cab is redrawn every display frame.
  function setText(item, text) {
    if (item.text !== text) {
      item.text = text;
      item.element.textContent = text;
    }
  }
  function setValue(item, v) {
    if (item.value !== v) {
      item.value = v;
      item.element.dataset.value = v;
    }
  }

  // The index a lamp or sound names: "kPanelDoorsOpen+1" is
  // CAB.kPanelDoorsOpen + 1. A name the cab does not have fails the page.
  function namedIndex(text, traced) {
    const [, name, offset] = /^(k[A-Za-z]+)(?:\+([0-9]+))?$/.exec(text) ?? [];
    const index = CAB[name] + Number(offset ?? 0);
    if (!traced.includes(index)) throw new Error(`the cab traces no index "${text}"`);
    return index;
  }

  // Puts each lamp's and sound's index in place of its name, and adds a chip
  // ("index: value") for every traced panel index that no lamp shows: the
  // panel's constants, which the cab does not name.
  function placeIndices(root) {
    for (const [key, traced] of [
      ['panel', CAB.kPanelIndices],
      ['sound', CAB.kSoundIndices],
    ]) {
      for (const element of root.querySelectorAll(`[data-${key}]`))
        element.dataset[key] = namedIndex(element.dataset[key], traced);
    }
    const named = new Set(
      Array.from(root.querySelectorAll('[data-panel]'), (e) => e.dataset.panel),
    );
    const chips = root.querySelector('[data-chips]');
    for (const index of CAB.kPanelIndices) {
      if (named.has(String(index))) continue;
      const chip = document.createElement('span');
      chip.className = 'chip';
      chip.dataset.panel = index;
      chips.appendChild(chip);
    }
  }

  // The cab inside `root` (the page's #cab section and its state readouts).
  // render(frame) draws one frame, whose readers give the values:
  //   panel(index), sound(index): the arrays' entries;
  //   handle(k), driver(k): the k-th of HANDLES and DRIVER;
  //   emergencyNotch, speed, bc, mr, current: numbers;
  //   limit: the next speed check's limit in km/h, or null (optional).
  function create(root) {
    placeIndices(root);
    Words.apply(root);
    const byId = (id) => root.querySelector('#' + id);
    const all = (selector, make) => Array.from(root.querySelectorAll(selector), make);
    const panels = all('[data-panel]', (element) => ({
      element,
      index: Number(element.dataset.panel),
      isDigits: element.tagName === 'OUTPUT',
      isChip: element.classList.contains('chip'),
    }));
    const sounds = all('[data-sound]', (element) => ({
      element,
      index: Number(element.dataset.sound),
    }));
    const handles = all('[data-handle]', (element) => ({
      element,
      name: element.dataset.handle,
      k: HANDLES.indexOf(element.dataset.handle),
    }));
    const drivers = all('[data-driver]', (element) => ({
      element,
      name: element.dataset.driver,
      k: DRIVER.indexOf(element.dataset.driver),
    }));
    const readouts = ['speed', 'bc', 'mr', 'current'].map((id) => ({ element: byId(id), id }));
    const { needle, limit } = drawDial(byId('dial'));
    let needleAngle = null;
    let limitShown = null;

    function render(frame) {
      for (const item of readouts)
        setText(item, fixed(frame[item.id], item.id === 'speed' ? 1 : 0));
      const angle = (dialAngle(Math.abs(frame.speed) || 0) * 180) / Math.PI;
      if (angle !== needleAngle) {
        needleAngle = angle;
        needle.setAttribute('transform', `rotate(${angle})`);
      }
      // The next speed check's limit, where the frame gives one.
      const kmh = frame.limit ?? null;
      if (kmh !== limitShown) {
        limitShown = kmh;
        limit.setAttribute('visibility', kmh === null ? 'hidden' : 'visible');
        if (kmh !== null)
          limit.setAttribute('transform', `rotate(${(dialAngle(kmh) * 180) / Math.PI})`);
      }

      const blank = frame.panel(COUNTER_BLANK) !== 0;
      for (const item of panels) {
        const v = frame.panel(item.index);
        setValue(item, v);
        if (item.isDigits) {
          setText(item, item.index === COUNTER && blank ? '' : String(v));
        } else if (item.isChip) {
          setText(item, item.index + ': ' + v);
        }
      }
      for (const item of sounds) {
        const v = frame.sound(item.index);
        if (item.value !== v) {
          const key = 'cab.sound.' + v;
          const word = say(key);
          item.element.dataset.command = word === key ? String(v) : word;
        }
        setValue(item, v);
      }
      const emergencyNotch = frame.emergencyNotch;
      const driver = {};
      for (const item of drivers) {
        driver[item.name] = frame.driver(item.k);
        setText(item, handleWords(item.name, driver[item.name], emergencyNotch));
      }
      for (const item of handles) {
        const v = frame.handle(item.k);
        setValue(item, v);
        setText(item, handleWords(item.name, v, emergencyNotch));
        // The plug-in put another position in place of the driver's.
        item.element.classList.toggle('overridden', item.name in driver && driver[item.name] !== v);
      }
    }

    // After the reader switched language: the sounds' commands are written
    // again at the next frame drawn (the other words compare their text).
    function relabel() {
      for (const item of sounds) item.value = undefined;
    }

    return { render, relabel };
  }

  // The frame shown, for the page's readers and tests.
  function showFrame(frame) {
    document.body.dataset.frame = String(frame);
  }

  return {
    HANDLES,
    DRIVER,
    GOVERNOR_BRAKES,
    GOVERNOR_RELEASES,
    create,
    fixed,
    showFrame,
    svg,
    say,
  };
})();
