// The cab's sounds, synthesised with Web Audio. Each frame the plug-in gives
// a command for every sound index, which this follows exactly, as the
// simulator does: 1 plays the sound once from its start, 0 plays it looping
// (from its start unless it is looping already), 2 lets whatever plays go
// on, -10000 stops it. Nothing is heard until the driver turns sound on (a
// browser lets a page make sound only after a gesture); the commands are
// followed all the same, so that a loop that runs is heard once sound is on.
'use strict';

const CabAudio = (function () {
  const PLAY_LOOPING = ATS.ATS_SOUND_PLAYLOOPING;
  const PLAY_ONCE = ATS.ATS_SOUND_PLAY;
  const STOP = ATS.ATS_SOUND_STOP;
  const RATE = 22050; // samples a second: plenty for these tones
  const TAU = 2 * Math.PI;

  // Each sound as a function of time (s) within its length; a looping sound's
  // length is one period of its loop.
  const decay = (t, per_s) => Math.exp(-t * per_s);
  const noise = () => Math.random() * 2 - 1;
  function bell(t) {
    // A struck bell: inharmonic partials, the high ones dying first.
    return (
      0.5 * decay(t, 3) * Math.sin(TAU * 1250 * t) +
      0.3 * decay(t, 5) * Math.sin(TAU * 3020 * t) +
      0.2 * decay(t, 8) * Math.sin(TAU * 4630 * t)
    );
  }
  const RING_PERIOD_S = 0.125; // the ringing bell strikes eight times a second
  const SOUNDS = {
    [CAB.kSoundUnitOn]: {
      name: 'switch-on',
      seconds: 0.25,
      wave: (t) => 0.4 * Math.sin(TAU * (t < 0.1 ? 660 : 990) * t),
    },
    [CAB.kSoundStarting]: {
      name: 'start',
      seconds: 0.4,
      wave: (t) => 0.35 * Math.sin(TAU * (400 + 500 * t) * t) * decay(t, 2),
    },
    [CAB.kSoundStopping]: {
      name: 'stop',
      seconds: 0.4,
      wave: (t) => 0.35 * Math.sin(TAU * (900 - 500 * t) * t) * decay(t, 2),
    },
    [CAB.kSoundBrakeAir]: {
      name: 'brake air',
      seconds: 0.7,
      wave: (t) => 0.3 * noise() * decay(t, 4),
    },
    [CAB.kSoundAlarm]: {
      name: 'alarm',
      seconds: 0.5,
      wave: (t) => 0.25 * Math.sign(Math.sin(TAU * (t < 0.25 ? 1000 : 800) * t)),
    },
    [CAB.kSoundBell]: { name: 'bell strike', seconds: 1.5, wave: bell },
    [CAB.kSoundBellLoop]: {
      name: 'bell ringing',
      seconds: RING_PERIOD_S,
      wave: (t) => bell(t) * (1 - t / RING_PERIOD_S),
    },
    [CAB.kSoundDoor]: {
      name: 'door',
      seconds: 0.6,
      wave: (t) => 0.35 * (noise() * decay(t, 12) + Math.sin(TAU * 520 * t) * decay(t, 5)),
    },
  };
  const INDICES = Object.keys(SOUNDS).map(Number);

  let context = null;
  let buffers = null;
  let on = false;
  // What each sound does now: 'stopped', 'once' or 'looping', and its
  // playing source while sound is on.
  const state = new Map(
    INDICES.map((index) => [index, { mode: 'stopped', source: null, until: 0 }]),
  );

  function render(sound) {
    const length = Math.max(1, Math.round(sound.seconds * RATE));
    const buffer = context.createBuffer(1, length, RATE);
    const samples = buffer.getChannelData(0);
    for (let k = 0; k < length; ++k) samples[k] = sound.wave(k / RATE);
    return buffer;
  }

  function stopSource(voice) {
    if (voice.source) {
      voice.source.onended = null;
      voice.source.stop();
      voice.source.disconnect();
      voice.source = null;
    }
  }
  function startSource(index, voice) {
    stopSource(voice);
    if (!on) return;
    const source = context.createBufferSource();
    source.buffer = buffers.get(index);
    source.loop = voice.mode === 'looping';
    source.connect(context.destination);
    source.onended = () => {
      if (voice.source === source) voice.source = null;
    };
    source.start();
    voice.source = source;
  }

  // One frame's commands; `sound(index)` reads the frame's sound array, `now`
  // is the page's clock in ms (a sound played once is over after its length).
  function update(sound, now) {
    for (const index of INDICES) {
      const voice = state.get(index);
      const command = sound(index);
      if (voice.mode === 'once' && now >= voice.until) voice.mode = 'stopped';
      if (command === PLAY_ONCE) {
        voice.mode = 'once';
        voice.until = now + SOUNDS[index].seconds * 1000;
        startSource(index, voice);
      } else if (command === PLAY_LOOPING) {
        if (voice.mode !== 'looping') {
          voice.mode = 'looping';
          startSource(index, voice);
        }
      } else if (command === STOP) {
        voice.mode = 'stopped';
        stopSource(voice);
      }
      // Anything else (2, continue) leaves the sound as it is.
    }
  }

  // Sound on: called from the driver's gesture. The loops that run start
  // being heard.
  function enable() {
    if (!context) {
      context = new AudioContext();
      buffers = new Map(INDICES.map((index) => [index, render(SOUNDS[index])]));
    }
    on = true;
    context.resume();
    for (const [index, voice] of state) if (voice.mode === 'looping') startSource(index, voice);
  }
  function disable() {
    on = false;
    for (const voice of state.values()) stopSource(voice);
    if (context) context.suspend();
  }
  // Everything silent, as a new session starts.
  function reset() {
    for (const voice of state.values()) {
      stopSource(voice);
      voice.mode = 'stopped';
    }
  }
  // The mode of every sound, by index: for the page's readers and tests.
  function modes() {
    const out = {};
    for (const [index, voice] of state) out[index] = voice.mode;
    return out;
  }

  return { STOP, enable, disable, reset, update, modes };
})();
