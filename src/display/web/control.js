// The control page: a PIN asked once per browser session, then the group cues, a keypad for the
// bar, GO, and STOP with a confirmation. Every request goes over the feed's connection.
import { FeedConnection } from "/feed.js";

const pinKey = "carvoPin";
const element = (id) => document.getElementById(id);
let chosenCue = "";
let barText = "";

const feed = new FeedConnection(take, connected);

function connected(up) {
  element("connection").textContent = up ? "" : "Carvo not reachable – reconnecting…";
  if (!up) return;
  const pin = sessionStorage.getItem(pinKey);
  if (pin) feed.send({ type: "pin", pin });
  else askPin("");
}

function askPin(notice) {
  element("controls").hidden = true;
  element("pin-form").hidden = false;
  element("notice").textContent = notice;
  element("pin").focus();
}

function take(message) {
  if (message.type === "control") {
    if (message.allowed) {
      element("pin-form").hidden = true;
      element("controls").hidden = false;
      element("notice").textContent = "";
      showCues(message.cues);
      return;
    }
    sessionStorage.removeItem(pinKey);
    const notices = {
      off: "Control is off: set a PIN (displayPin) in Carvo's settings.",
      wrong: "Wrong PIN.",
      limited: "Too many wrong PINs: wait a minute.",
      pin: "Enter the PIN.",
    };
    if (message.reason === "off") {
      element("pin-form").hidden = true;
      element("controls").hidden = true;
      element("notice").textContent = notices.off;
    } else {
      askPin(notices[message.reason] ?? "");
    }
    return;
  }
  if (message.type === "message") element("notice").textContent = message.text;
  if ("bar" in message && "beat" in message) {
    const phase = message.phase ? ` ${message.phase}` : "";
    element("now").textContent = `${message.bar}.${message.beat}` + (message.type === "tick" ? "" : phase);
  }
}

function showCues(cues) {
  const list = element("cues");
  list.replaceChildren();
  for (const cue of cues) {
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = cue.name || cue.id;
    button.dataset.cueId = cue.id;
    button.classList.toggle("chosen", cue.id === chosenCue);
    button.addEventListener("click", () => {
      chosenCue = cue.id;
      for (const other of list.children) other.classList.toggle("chosen", other === button);
    });
    list.append(button);
  }
}

function buildKeypad() {
  const keys = ["1", "2", "3", "4", "5", "6", "7", "8", "9", "C", "0", "⌫"];
  for (const key of keys) {
    const button = document.createElement("button");
    button.type = "button";
    button.textContent = key;
    button.dataset.key = key;
    button.addEventListener("click", () => {
      if (key === "C") barText = "";
      else if (key === "⌫") barText = barText.slice(0, -1);
      else if (barText.length < 5) barText += key;
      element("bar-entry").textContent = barText;
    });
    element("keypad").append(button);
  }
}

element("pin-form").addEventListener("submit", (event) => {
  event.preventDefault();
  const pin = element("pin").value;
  element("pin").value = "";
  sessionStorage.setItem(pinKey, pin);
  feed.send({ type: "pin", pin });
});
element("go").addEventListener("click", () => {
  if (!chosenCue) return void (element("notice").textContent = "Choose a cue first.");
  if (!barText) return void (element("notice").textContent = "Type a bar first.");
  element("notice").textContent = "";
  feed.send({ type: "go", cueID: chosenCue, bar: Number(barText) });
});
element("stop").addEventListener("click", () => (element("stop-ask").hidden = false));
element("stop-cancel").addEventListener("click", () => (element("stop-ask").hidden = true));
element("stop-confirm").addEventListener("click", () => {
  element("stop-ask").hidden = true;
  feed.send({ type: "stop" });
});

buildKeypad();
feed.connect();
