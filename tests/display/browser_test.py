#!/usr/bin/python3
"""The stage display in a real browser: Debian's chromium, headless, driven by chromedriver.

Starts carvo headless on loopback ports of its own with the demo workspace and a display PIN,
jumps through the remote protocol as a TCP client, and checks that the page shows what the TCP
clients hear, that its beat lights follow, that a stop shows, that the control page refuses
without the PIN and jumps with it, and that the page comes back after Carvo restarts.

  browser_test.py CARVO [--screenshots DIR] [--latency-seconds N]

Exits 77 (skipped) with one line when no headless browser can run here.
"""
import argparse
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SKIP = 77


def skip(reason):
    print(f"SKIPPED: the browser test needs {reason}")
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    skip("python3-selenium")

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
DRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
if not CHROMIUM:
    skip("chromium")
if not os.access(DRIVER, os.X_OK):
    skip("chromium-driver")


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for(what, condition, seconds=15.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what}")


class Carvo:
    """carvo --headless on its own ports and settings folder."""

    def __init__(self, executable, settings, port, display_port):
        self.command = [executable, "--headless", "--port", str(port), "--display-port",
                        str(display_port), "--osc-port", "0", "--settings-dir", settings]
        self.lines = []
        self.process = None

    def start(self):
        self.lines = []
        self.process = subprocess.Popen(self.command, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        threading.Thread(target=self._read, args=(self.process,), daemon=True).start()
        wait_for("the stage display's address", lambda: self.has("📺 Stage display on"))
        wait_for("the catalogue", lambda: self.has("Catalogue read at start-up"))

    def _read(self, process):
        for line in process.stdout:
            self.lines.append(line.rstrip("\n"))

    def has(self, prefix):
        return any(line.startswith(prefix) for line in list(self.lines))

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class RemoteClient:
    """A TCP client of the remote protocol, keeping the last "BAR: " it heard."""

    def __init__(self, port):
        self.socket = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.bars = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        while True:
            try:
                data = self.socket.recv(4096)
            except OSError:
                return
            if not data:
                return
            text = data.decode("utf-8", "replace")
            # The server's messages have no framing; ticks start with "BAR: ".
            for part in text.split("BAR: ")[1:]:
                position = part.split(" ")[0]
                if "." in position:
                    self.bars.append(position.strip())

    def send(self, text):
        self.socket.sendall(text.encode())

    def close(self):
        self.socket.close()


def browser(width, height):
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}", "--no-first-run",
                     "--disable-background-timer-throttling",
                     "--disable-renderer-backgrounding"):
        options.add_argument(argument)
    try:
        return webdriver.Chrome(service=Service(DRIVER), options=options)
    except Exception as error:  # no display libraries, no sandbox: nothing to test here
        skip(f"a headless chromium that starts ({str(error).splitlines()[0]})")


def shown(page):
    return page.execute_script("return window.carvoShown")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("carvo")
    parser.add_argument("--screenshots")
    parser.add_argument("--latency-seconds", type=float, default=4.0)
    args = parser.parse_args()

    settings = tempfile.mkdtemp(prefix="carvo-display-")
    os.makedirs(os.path.join(settings, "Carvo"))
    with open(os.path.join(settings, "Carvo", "Carvo.conf"), "w") as store:
        store.write("[General]\ndisplayPin=4711\n")
    port, display_port = free_port(), free_port()
    carvo = Carvo(args.carvo, settings, port, display_port)
    carvo.start()
    url = f"http://127.0.0.1:{display_port}/"
    page = browser(390, 844)  # a phone, upright
    remote = None
    try:
        page.get(url)
        wait_for("the page to connect", lambda: shown(page)["connected"])
        assert shown(page)["phase"] == "idle", shown(page)

        # A remote jump: the page shows what the TCP clients hear.
        remote = RemoteClient(port)
        remote.send("REMOTE_SELECTED: D-GROUP-OVERTURE")
        time.sleep(0.2)
        remote.send("BAR_REQUEST: 17")
        wait_for("the page to run", lambda: shown(page)["phase"] == "running")
        wait_for("ticks on the TCP side", lambda: len(remote.bars) > 5)
        agreed = 0
        for _ in range(20):
            tcp = remote.bars[-1]
            state = shown(page)
            if f"{state['bar']}.{state['beat']}" == tcp:
                agreed += 1
            time.sleep(0.13)
        assert agreed >= 10, f"page and TCP clients agreed on {agreed} of 20 samples"
        assert shown(page)["bar"] >= 17

        # The lights: one per beat, the lit one moves through the bar.
        lit = set()
        wait_for("the lights to go round", lambda: lit.add(shown(page)["lit"]) or len(lit) >= 3,
                 seconds=6)
        count = len(page.find_elements(By.CSS_SELECTOR, "#lights .light"))
        assert 2 <= count <= 12, f"{count} lights"
        assert len(page.find_elements(By.CSS_SELECTOR, "#lights .light.downbeat")) == 1
        assert len(page.find_elements(By.CSS_SELECTOR, "#lights .light.lit")) == 1

        # The latency of ticks from Carvo to the frame that shows them.
        page.execute_script("window.carvoLatencies = []")
        time.sleep(args.latency_seconds)
        latencies = sorted(page.execute_script("return window.carvoLatencies"))
        if latencies:
            p99 = latencies[min(len(latencies) - 1, int(len(latencies) * 0.99))]
            print(f"tick to screen over {len(latencies)} ticks: median "
                  f"{statistics.median(latencies):.1f} ms, p99 {p99:.1f} ms")

        if args.screenshots:
            os.makedirs(args.screenshots, exist_ok=True)
            page.save_screenshot(os.path.join(args.screenshots, "display-phone.png"))
            tablet = browser(1024, 768)
            try:
                tablet.get(url)
                wait_for("the tablet to run", lambda: shown(tablet)["phase"] == "running")
                time.sleep(0.5)
                tablet.save_screenshot(os.path.join(args.screenshots, "display-tablet.png"))
            finally:
                tablet.quit()

        # A stop shows as one.
        remote.send("STOP ")
        wait_for("the page to show the stop", lambda: shown(page)["phase"] == "stopped")
        assert page.find_element(By.ID, "phase").text.lower() == "stopped"

        # The control page: refused without the PIN, a jump with it.
        page.get(url + "control")
        wait_for("the PIN form", lambda: page.find_element(By.ID, "pin-form").is_displayed())
        assert not page.find_element(By.ID, "controls").is_displayed()
        page.find_element(By.ID, "pin").send_keys("0000")
        page.find_element(By.ID, "pin-send").click()
        wait_for("the refusal", lambda: "Wrong PIN" in page.find_element(By.ID, "notice").text)
        assert not page.find_element(By.ID, "controls").is_displayed()
        assert carvo.has("❌ Wrong PIN for the stage display")
        page.find_element(By.ID, "pin").send_keys("4711")
        page.find_element(By.ID, "pin-send").click()
        wait_for("the controls", lambda: page.find_element(By.ID, "controls").is_displayed())
        wait_for("the cues", lambda: page.find_elements(By.CSS_SELECTOR,
                                                        "#cues [data-cue-id='D-GROUP-OVERTURE']"))
        page.find_element(By.CSS_SELECTOR, "#cues [data-cue-id='D-GROUP-OVERTURE']").click()
        for key in ("2", "1"):
            page.find_element(By.CSS_SELECTOR, f"#keypad [data-key='{key}']").click()
        heard = len(remote.bars)
        page.find_element(By.ID, "go").click()
        wait_for("the jump from the control page",
                 lambda: any(bar.startswith("21.") for bar in remote.bars[heard:]))
        # STOP asks first.
        page.find_element(By.ID, "stop").click()
        assert page.find_element(By.ID, "stop-ask").is_displayed()
        page.find_element(By.ID, "stop-confirm").click()
        wait_for("the stop from the control page", lambda: carvo.has(
            "Stage display control from 127.0.0.1") and
            any(line.endswith(": STOP") for line in carvo.lines))

        # A pre-roll of two bars, read afresh at the next jump: the page shows the count-in as
        # such, then the bar that was asked for.
        page.get(url)
        wait_for("the page to connect", lambda: shown(page)["connected"])
        with open(os.path.join(settings, "Carvo", "Carvo.conf"), "w") as store:
            store.write("[General]\ndisplayPin=4711\npreRollBars=2\n")
        remote.send("REMOTE_SELECTED: D-GROUP-OVERTURE")
        time.sleep(0.2)
        remote.send("BAR_REQUEST: 12")
        count_in = page.find_element(By.ID, "count-in")
        wait_for("the count-in", lambda: count_in.is_displayed() and
                 count_in.text.startswith("12 in "))
        wait_for("the bar asked for", lambda: not count_in.is_displayed() and
                 (shown(page)["bar"] or 0) >= 12, seconds=20)
        remote.send("STOP ")
        wait_for("the page to show the stop", lambda: shown(page)["phase"] == "stopped")

        # Carvo restarts: the page says it is away, and comes back by itself.
        remote.close()
        remote = None
        carvo.stop()
        wait_for("the page to notice", lambda: not shown(page)["connected"])
        assert "reconnecting" in page.find_element(By.ID, "connection").text
        carvo.start()
        wait_for("the page to reconnect", lambda: shown(page)["connected"], seconds=20)
        print("browser test: display, lights, stop, control page, count-in and reconnection passed")
    finally:
        if remote:
            remote.close()
        page.quit()
        carvo.stop()
        shutil.rmtree(settings, ignore_errors=True)


if __name__ == "__main__":
    main()
