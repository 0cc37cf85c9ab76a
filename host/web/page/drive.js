// The driving page: the plug-in and atshost's simulation core, compiled to one
// WebAssembly module carried inside the page, run in real time with the
// driver's controls from the keyboard, the mouse or a touch screen. The page
// only feeds the module the driver's input and the time that passed, and
// shows what each frame gives back: the train, its model, the driver on
// autopilot, the route parser, the trace and the replay scenario are all the
// module's.
'use strict';

(function () {
  // page_step's answers and page_control's controls, by the names the page
  // uses for them; the numbers come from page_api.h (PAGE_API, filled in
  // when the page is built).
  const RUNNING = PAGE_API.PAGE_RUNNING;
  const ROUTE_ENDED = PAGE_API.PAGE_ROUTE_ENDED;
  const SESSION_ENDED = PAGE_API.PAGE_PROCESS_ENDED;
  const NO_ROUTE = PAGE_API.PAGE_NO_ROUTE;
  const CONTROL = {
    power: PAGE_API.PAGE_POWER,
    brake: PAGE_API.PAGE_BRAKE,
    reverser: PAGE_API.PAGE_REVERSER,
    doorOpen: PAGE_API.PAGE_DOOR_OPEN,
    doorClose: PAGE_API.PAGE_DOOR_CLOSE,
    horn: PAGE_API.PAGE_HORN,
    keyDown: PAGE_API.PAGE_KEY_DOWN,
    keyUp: PAGE_API.PAGE_KEY_UP,
    autopilot: PAGE_API.PAGE_AUTOPILOT,
  };
  const PANEL_SIZE = PAGE_API.PAGE_PANEL_LENGTH;
  const SOUND_SIZE = PAGE_API.PAGE_SOUND_LENGTH;
  // A name the header no longer has would send undefined to the module.
  for (const value of [
    RUNNING,
    ROUTE_ENDED,
    SESSION_ENDED,
    NO_ROUTE,
    PANEL_SIZE,
    SOUND_SIZE,
    ...Object.values(CONTROL),
  ]) {
    if (!Number.isInteger(value)) throw new Error('the page and page_api.h disagree on a name');
  }
  // A slow or hidden tab does not lurch the train on: the module takes
  // frames of 1 to 100 ms.
  const MAX_STEP_MS = 100;

  const $ = (id) => document.getElementById(id);
  const cab = Cab.create($('cab'));
  const utf8 = new TextDecoder();
  const utf16 = new TextDecoder('utf-16le');

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
    // A reactor module: its constructors run once, before any other call.
    x._initialize();
  }

  // --- The session ------------------------------------------------------------

  const DEMO = { name: 'demo route', text: null };
  let route = DEMO;
  let status = NO_ROUTE;
  let notches = 0;
  let emergencyNotch = 0;
  let ended = false;
  const controls = { power: 0, brake: 0, reverser: 0 };
  let autopilot = false;

  // The route in `route`, in a fresh session. A route refused leaves the
  // session that ran as it was, and says why as atshost does.
  function openRoute(next) {
    let failed;
    const previous = route;
    route = next;
    if (route.text === null) {
      failed = x.page_open_demo() !== 0;
    } else {
      const name = place(route.name);
      const text = place(route.text);
      failed = x.page_open_route(name.pointer, text.pointer, text.length) !== 0;
      x.free(name.pointer);
      x.free(text.pointer);
    }
    if (failed) {
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
    status = RUNNING;
    x.page_control(CONTROL.autopilot, autopilot ? 1 : 0);
    if (testing) x.page_test_fixed_step(1);
    readFrame();
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
    $('ended-text').textContent =
      "F7 again: the unit ended the simulator's process, as it ends the " +
      'simulator itself. The session is over; the run up to this point can still be saved.';
    $('ended').hidden = false;
    showStatus();
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
        panel: new Int32Array(buffer, panel, PANEL_SIZE),
        sound: new Int32Array(buffer, x.page_sound(), SOUND_SIZE),
        handles: new Int32Array(buffer, x.page_handles(), PAGE_API.PAGE_HANDLES_LENGTH),
        driver: new Int32Array(buffer, x.page_driver(), PAGE_API.PAGE_DRIVER_LENGTH),
        train: new Float64Array(buffer, x.page_train(), PAGE_API.PAGE_TRAIN_LENGTH),
      };
    }
    return views;
  }

  function readFrame() {
    const v = frameViews();
    const train = v.train;
    shown.emergencyNotch = emergencyNotch;
    shown.speed = train[2];
    shown.bc = train[3];
    shown.mr = train[4];
    shown.current = train[5];
    cab.render(shown);
    $('time').textContent = Cab.fixed(train[0] / 1000, 3);
    $('location').textContent = Cab.fixed(train[1], 1);
    controls.brake = v.driver[CAB.kDriverBrake];
    controls.power = v.driver[CAB.kDriverPower];
    controls.reverser = v.driver[CAB.kDriverReverser];
    CabAudio.update(shown.sound, performance.now());
    appendTimeline(cString(x.page_timeline()));
    const frame = x.page_frame();
    $('frame').textContent = frame < 0 ? '–' : String(frame);
    Cab.showFrame(frame < 0 ? '' : frame);
  }

  const timeline = $('timeline');
  function appendTimeline(text) {
    if (!text) return;
    const lines = text.split('\n');
    if (lines[lines.length - 1] === '') lines.pop();
    const follow = timeline.scrollTop + timeline.clientHeight >= timeline.scrollHeight - 4;
    for (const line of lines) {
      const li = document.createElement('li');
      li.textContent = line;
      timeline.appendChild(li);
    }
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

  // --- Real time ------------------------------------------------------------

  const clock = { last: null, carry: 0, rate: 1, paused: false };
  let testing = false;
  let firstFrameAt = null;

  function tick(now) {
    requestAnimationFrame(tick);
    if (testing || clock.paused || !canStep()) {
      clock.last = null;
      return;
    }
    if (clock.last === null) {
      clock.last = now;
      return;
    }
    const real = Math.max(now - clock.last, 0);
    clock.last = now;
    const exact = Math.min(real * clock.rate + clock.carry, MAX_STEP_MS);
    const dt = Math.floor(exact);
    clock.carry = exact - dt;
    if (dt > 0) step(dt);
  }

  function setPaused(paused) {
    clock.paused = paused;
    clock.last = null;
    $('pause').textContent = paused ? 'go on' : 'pause';
    showStatus();
  }
  function setRate(rate) {
    clock.rate = rate;
    for (const b of document.querySelectorAll('[data-rate]')) {
      b.setAttribute('aria-pressed', String(Number(b.dataset.rate) === rate));
    }
  }

  function showStatus() {
    let text;
    if (ended) text = 'session ended';
    else if (status === NO_ROUTE) text = 'no route';
    else if (boxShown) text = 'warning box shown';
    else if (status === ROUTE_ENDED) text = 'route ended';
    else if (clock.paused) text = 'paused';
    else text = autopilot ? 'running on autopilot' : 'running';
    $('status').textContent = text;
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
    $('f7').textContent = f7.down ? 'down' : 'up';
    $('f7').dataset.down = f7.down ? '1' : '0';
  }
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
  // route driver's while the autopilot drives.
  const pluginKey = (key) => ({
    handles: true,
    press: () => canDrive() && x.page_control(CONTROL.keyDown, key),
    release: () => canDrive() && x.page_control(CONTROL.keyUp, key),
  });
  const ACTIONS = {
    'power-up': {
      handles: true,
      press: () => handle(CONTROL.power, (controls.power = clamp(controls.power + 1, 0, notches))),
    },
    'power-down': {
      handles: true,
      press: () => handle(CONTROL.power, (controls.power = clamp(controls.power - 1, 0, notches))),
    },
    'brake-up': {
      handles: true,
      press: () =>
        handle(CONTROL.brake, (controls.brake = clamp(controls.brake + 1, 0, emergencyNotch))),
    },
    'brake-down': {
      handles: true,
      press: () =>
        handle(CONTROL.brake, (controls.brake = clamp(controls.brake - 1, 0, emergencyNotch))),
    },
    emergency: {
      handles: true,
      press: () => handle(CONTROL.brake, (controls.brake = emergencyNotch)),
    },
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
    for (const button of document.querySelectorAll('[data-control]')) {
      button.disabled = on && Boolean(ACTIONS[button.dataset.control].handles);
    }
    if (on) for (const name of [...held]) if (ACTIONS[name].handles) release(name);
    if (canDrive()) x.page_control(CONTROL.autopilot, on ? 1 : 0);
    showStatus();
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
    if (!x || status === NO_ROUTE) return;
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
  $('sound').addEventListener('change', (e) => setSound(e.target.checked));
  $('open').addEventListener('change', (e) => openFile(e.target.files[0]));
  $('demo').addEventListener('click', () => open(DEMO));
  $('save').addEventListener('click', save);
  $('again').addEventListener('click', () => startAgain());
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
    sounds: () => CabAudio.modes(),
    firstFrameAt: () => firstFrameAt,
  };

  startAgain(DEMO).then(
    () => requestAnimationFrame(tick),
    (error) => showMessage('The page could not start its module: ' + error, true),
  );
})();
