// The stage display: bar and beat, a light per beat, a progress bar drawn every frame from the
// server's clock and the bar's length, corrected by each tick.
import { FeedConnection } from "/feed.js";

const phaseNames = {
  idle: "Waiting",
  running: "Running",
  standby: "Standby",
  stopped: "Stopped",
  qlabNotAnswering: "QLab not answering",
};
const counting = new Set(["running", "qlabNotAnswering"]);
const maxLatencies = 5000;

const show = {
  phase: "idle",
  cueID: "",
  cueName: "",
  bar: null,
  beat: null,
  progress: 0,
  beatsPerBar: 4,
  barLength: 0,
  anchorTime: 0, // the server time of the last position
  countInBars: 0,
  targetBar: 0,
  mark: "",
};
// Ticks waiting to be seen on screen: their server time, for the latency figures.
let unseen = [];
// From a tick leaving Carvo to the frame that shows it, in milliseconds (read by the tests).
window.carvoLatencies = [];
window.carvoShown = { bar: null, beat: null, phase: "idle", connected: false, messages: 0 };

const element = (id) => document.getElementById(id);
const feed = new FeedConnection(take, connected);

function take(message) {
  window.carvoShown.messages += 1;
  switch (message.type) {
    case "tick":
      position(message);
      unseen.push(message.serverTime);
      break;
    case "state":
    case "jump":
    case "stop":
      position(message);
      show.phase = message.phase;
      show.cueID = message.cueID;
      show.cueName = message.cueName;
      show.countInBars = message.countInBars;
      show.targetBar = message.targetBar;
      show.mark = message.mark;
      if (message.type !== "state") element("message").hidden = true;
      break;
    case "message":
      element("message").textContent = message.text;
      element("message").hidden = false;
      break;
  }
  render();
}

function position(message) {
  show.bar = message.bar;
  show.beat = message.beat;
  show.progress = message.progress;
  show.beatsPerBar = Math.max(1, Math.min(message.beatsPerBar, 32));
  show.barLength = message.barLength;
  show.anchorTime = message.serverTime;
}

function connected(up) {
  window.carvoShown.connected = up;
  document.body.classList.toggle("offline", !up);
  element("connection").textContent = up ? "" : "Carvo not reachable – reconnecting…";
  if (up) keepAwake();
}

function render() {
  document.body.className = `phase-${show.phase}` + (window.carvoShown.connected ? "" : " offline");
  element("phase").textContent = phaseNames[show.phase] ?? show.phase;
  element("cue-name").textContent = show.cueName || show.cueID;
  const mark = element("mark");
  mark.textContent = show.mark;
  mark.hidden = !show.mark;
  const started = show.phase !== "idle" && show.bar !== null;
  element("bar").textContent = started ? show.bar : "–";
  element("beat").textContent = started ? show.beat : "–";
  const countIn = element("count-in");
  countIn.hidden = !(show.countInBars > 0);
  countIn.textContent = show.countInBars > 0 ? `${show.targetBar} in ${show.countInBars}` : "";
  window.carvoShown.bar = started ? show.bar : null;
  window.carvoShown.beat = started ? show.beat : null;
  window.carvoShown.phase = show.phase;
  buildLights();
}

function buildLights() {
  const lights = element("lights");
  if (lights.childElementCount === show.beatsPerBar) return;
  lights.replaceChildren();
  for (let i = 1; i <= show.beatsPerBar; i++) {
    const light = document.createElement("div");
    light.className = i === 1 ? "light downbeat" : "light";
    light.dataset.beat = String(i);
    lights.append(light);
  }
}

// Where the bar stands now: while the count goes on, from the last position and the time since
// on the server's clock; it never runs past the bar's end before the next tick says so.
function progressNow() {
  if (!counting.has(show.phase) || !(show.barLength > 0)) return show.progress;
  const since = feed.serverNow() - show.anchorTime;
  return Math.min(0.999, Math.max(0, show.progress + since / show.barLength));
}

function frame() {
  const progress = progressNow();
  element("progress-fill").style.transform = `scaleX(${progress})`;
  // The lit beat follows the drawn progress, so the light and the bar never disagree; stopped,
  // the beat the server gave.
  const beat = counting.has(show.phase)
    ? Math.min(show.beatsPerBar, Math.floor(progress * show.beatsPerBar) + 1)
    : show.beat;
  let lit = 0;
  for (const light of element("lights").children) {
    const on = Number(light.dataset.beat) === beat;
    light.classList.toggle("lit", on);
    if (on) lit = beat;
  }
  window.carvoShown.lit = lit;
  if (unseen.length) {
    const shownAt = FeedConnection.pageNow();
    for (const serverTime of unseen) {
      window.carvoLatencies.push(shownAt - serverTime);
    }
    if (window.carvoLatencies.length > maxLatencies) window.carvoLatencies.splice(0, 1000);
    unseen = [];
  }
  requestAnimationFrame(frame);
}

// Keeps the screen on where the browser allows it (a secure page, or the same machine).
let wakeLock = null;
async function keepAwake() {
  if (!("wakeLock" in navigator) || wakeLock) return;
  try {
    wakeLock = await navigator.wakeLock.request("screen");
    wakeLock.addEventListener("release", () => (wakeLock = null));
  } catch {
    wakeLock = null;
  }
}
document.addEventListener("visibilitychange", () => {
  if (document.visibilityState === "visible") keepAwake();
});

buildLights();
render();
feed.connect();
requestAnimationFrame(frame);
