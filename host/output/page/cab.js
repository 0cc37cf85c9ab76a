// The cab, drawn from one frame's values: lamps, bar meters, the door
// counter, the speed dial, the handles and the sounds. Shared by the cab view
// (a finished run played back) and the driving page (a run being driven).
// Every panel, sound and returned-handle element carries the value it shows
// in data-value, exactly as the trace has it; the frame shown is in
// document.body.dataset.frame.
'use strict';

const Cab = (function () {
  // Sound commands, as the host reads them.
  const SOUND_WORDS = {
    [ATS.ATS_SOUND_STOP]: 'stop',
    [ATS.ATS_SOUND_PLAYLOOPING]: 'play looping',
    [ATS.ATS_SOUND_PLAY]: 'play once',
    [ATS.ATS_SOUND_CONTINUE]: 'continue',
  };
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
  const GOVERNOR_BRAKES = CAB.kGovernorBrakesKmh; // km/h, drawn on the dial
  const SVG_NS = 'http://www.w3.org/2000/svg';

  // A value that rounds to zero prints without a sign, as in the timeline.
  function fixed(v, decimals) {
    if (!Number.isFinite(v)) return String(v);
    const text = v.toFixed(decimals);
    return /^-0(\.0*)?$/.test(text) ? text.slice(1) : text;
  }

  function brakeWords(v, emergencyNotch) {
    if (v === 0) return 'released';
    return v >= emergencyNotch ? v + ' emergency' : String(v);
  }
  function handleWords(name, v, emergencyNotch) {
    switch (name) {
      case 'brake':
        return brakeWords(v, emergencyNotch);
      case 'power':
        return v === 0 ? 'off' : 'notch ' + v;
      case 'reverser':
        return v > 0 ? 'forward' : v < 0 ? 'backward' : 'neutral';
      case 'constant-speed':
        return v === 1 ? 'on' : v === 2 ? 'off' : '–';
      case 'doors_closed':
        return v ? 'closed' : 'open';
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
    const needle = svg(dial, 'line', { class: 'needle', x1: 0, y1: 0, x2: 0, y2: -85 });
    svg(dial, 'circle', { class: 'hub', r: 6 });
    return needle;
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

  // The cab inside `root` (the page's #cab section and its state readouts).
  // render(frame) draws one frame, whose readers give the values:
  //   panel(index), sound(index): the arrays' entries;
  //   handle(k), driver(k): the k-th of HANDLES and DRIVER;
  //   emergencyNotch, speed, bc, mr, current: numbers.
  function create(root) {
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
    const needle = drawDial(byId('dial'));
    let needleAngle = null;

    function render(frame) {
      for (const item of readouts)
        setText(item, fixed(frame[item.id], item.id === 'speed' ? 1 : 0));
      const angle = (dialAngle(Math.abs(frame.speed) || 0) * 180) / Math.PI;
      if (angle !== needleAngle) {
        needleAngle = angle;
        needle.setAttribute('transform', `rotate(${angle})`);
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
        if (item.value !== v) item.element.dataset.word = SOUND_WORDS[v] || String(v);
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

    return { render };
  }

  // The frame shown, for the page's readers and tests.
  function showFrame(frame) {
    document.body.dataset.frame = String(frame);
  }

  return { HANDLES, DRIVER, create, fixed, showFrame, svg };
})();
