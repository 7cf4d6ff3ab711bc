#!/usr/bin/python3
"""How fast the search page answers a person typing, over an index of 100,000 files.

Runs the real server and the real tessel over a generated tree, drives the page in headless
Chromium, types 50 searches a key at a time (80 ms between keys, as a quick typist), and prints:
- keystroke to paint: from the last key of a search to the frame that shows its results, minus
  the page's 100 ms debounce (median and p95);
- render: the time to build a 100-row page from its arrived answer, script alone and with the
  browser's style and layout of it (median and p95; goal under 16 ms, one frame).

Usage: page_bench.py BUILD_FOLDER [FILES]
"""

import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "page"))
import page_test  # noqa: E402  (the test's server, scene and browser set-up)

DEBOUNCE_MS = 100
KEY_PAUSE_S = 0.08
SEARCHES = 50
WORDS = ["report", "invoice", "holiday", "budget", "draft", "photo", "notes", "summary",
         "contract", "meeting", "backup", "music", "video", "letter", "plan", "scan"]
EXTENSIONS = [".pdf", ".txt", ".jpg", ".docx", ".png", ".mp3", ".xlsx", ".md"]

INSTRUMENT = """
window.__keys = [];
window.__paints = [];
window.__renders = [];
document.addEventListener("keydown", () => window.__keys.push(performance.now()), true);
const original = window.render;
window.render = function (answer, asked, elapsed) {
  const started = performance.now();
  original(answer, asked, elapsed);
  const built = performance.now();
  void document.body.offsetHeight;  // style and layout of what was built
  const laidOut = performance.now();
  window.__renders.push([asked.q, answer.results.length, built - started, laidOut - started]);
  requestAnimationFrame(() => setTimeout(() =>
      window.__paints.push([asked.q, performance.now()]), 0));
};
"""


class BenchScene(page_test.Scene):
    """A tree of the given number of files, with the test scene's configuration."""

    def __init__(self, root, files):
        self.count = files
        super().__init__(root)

    def populate(self):
        rng = random.Random(7)
        per_folder = 100
        for folder in range(self.count // per_folder):
            path = os.path.join(self.tree, f"area{folder % 20:02}", f"project {folder:04}")
            os.makedirs(path)
            for number in range(per_folder):
                name = (f"{rng.choice(WORDS)} {rng.choice(WORDS)} {number:03}"
                        f"{rng.choice(EXTENSIONS)}")
                with open(os.path.join(path, name), "wb") as out:
                    out.write(b"x" * rng.randrange(0, 64))


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(share * (len(ordered) - 1))))]


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    files = int(sys.argv[2]) if len(sys.argv) == 3 else 100_000
    bench = page_test.PageTest(build)
    scene = BenchScene(bench.temp.name + "/bench", files)
    began = time.time()
    scene.populate()
    print(f"tree of {files:,} files made in {time.time() - began:.1f} s", flush=True)
    bench.scene = scene
    bench.base = f"http://127.0.0.1:{scene.port}"
    server = page_test.Server(build, scene)
    driver = page_test.browser(scene.downloads)
    bench.server, bench.driver = server, driver
    try:
        bench.open("?count=100")
        driver.execute_script(INSTRUMENT)
        box = driver.find_element(page_test.By.ID, "q")
        # The first search starts tessel; wait until its index is whole.
        box.send_keys("report")
        bench.wait(lambda: "of" in bench.status() and
                   driver.find_element(page_test.By.ID, "notice").get_attribute("hidden"),
                   "the first index", timeout=120)
        rng = random.Random(11)
        latencies = []
        for _ in range(SEARCHES):
            term = rng.choice(WORDS)[:rng.randrange(3, 7)]
            box.clear()
            time.sleep(0.3)
            driver.execute_script("window.__keys = []; window.__paints = [];")
            for key in term:
                box.send_keys(key)
                time.sleep(KEY_PAUSE_S)
            bench.wait(lambda: any(q == term for q, _ in
                                   driver.execute_script("return window.__paints")),
                       "results of " + term)
            keys = driver.execute_script("return window.__keys")
            painted = [t for q, t in driver.execute_script("return window.__paints") if q == term]
            latencies.append(painted[-1] - keys[-1] - DEBOUNCE_MS)
        renders = [r for r in driver.execute_script("return window.__renders") if r[1] == 100]
        load = os.getloadavg()
        print(f"{SEARCHES} searches over {files:,} files, typed at {KEY_PAUSE_S * 1000:.0f} ms per key")
        print(f"keystroke to paint minus debounce: median {statistics.median(latencies):.1f} ms, "
              f"p95 {percentile(latencies, 0.95):.1f} ms")
        if renders:
            script = [r[2] for r in renders]
            layout = [r[3] for r in renders]
            print(f"render of a 100-row page ({len(renders)} pages): script median "
                  f"{statistics.median(script):.2f} ms, p95 {percentile(script, 0.95):.2f} ms; "
                  f"with style and layout median {statistics.median(layout):.2f} ms, p95 "
                  f"{percentile(layout, 0.95):.2f} ms (goal: under 16 ms)")
        print(f"load average {load[0]:.2f} {load[1]:.2f} {load[2]:.2f}")
    finally:
        driver.quit()
        server.stop()
        server.stop_tessels()
        bench.temp.cleanup()
    return 0


if __name__ == "__main__":
    sys.exit(main())
