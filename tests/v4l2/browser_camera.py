#!/usr/bin/env python3
"""The camera in Chromium, sandbox on, as a video call takes it: a local page
lists the video inputs (enumerateDevices), opens the camera (getUserMedia,
allowed by --use-fake-ui-for-media-stream) and draws one frame into a
canvas; the page posts what it found back to this script's HTTP server.

  browser_camera.py <chromium> <seconds> [chromium arguments...]

Prints the page's answer as JSON and exits 0 when it came, 1 otherwise.
Run it inside `zarncap v4l2`; it runs Chromium as it finds itself (a user
other than root keeps Chromium's sandbox on).
"""
import http.server
import json
import os
import subprocess
import sys
import tempfile
import threading

PAGE = b"""<!doctype html><title>camera</title><canvas id=c></canvas><script>
(async () => {
  const out = {};
  try {
    const stream = await navigator.mediaDevices.getUserMedia({video: true});
    const devices = await navigator.mediaDevices.enumerateDevices();
    out.inputs = devices.filter(d => d.kind === 'videoinput').map(d => d.label);
    out.settings = stream.getVideoTracks()[0].getSettings();
    const video = document.createElement('video');
    video.muted = true;
    video.srcObject = stream;
    await video.play();
    await new Promise(done => video.requestVideoFrameCallback(done));
    const canvas = document.getElementById('c');
    canvas.width = video.videoWidth;
    canvas.height = video.videoHeight;
    const context = canvas.getContext('2d');
    context.drawImage(video, 0, 0);
    const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
    let sum = 0, lit = 0;
    for (let i = 0; i < pixels.length; i += 4) {
      const value = pixels[i] + pixels[i + 1] + pixels[i + 2];
      sum += value;
      if (value > 30) lit += 1;
    }
    out.width = canvas.width;
    out.height = canvas.height;
    out.mean = sum / (pixels.length / 4) / 3;
    out.lit = lit / (pixels.length / 4);
  } catch (error) {
    out.error = String(error);
  }
  await fetch('/result', {method: 'POST', body: JSON.stringify(out)});
})();
</script>"""

answer = {}
arrived = threading.Event()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(PAGE)

    def do_POST(self):
        body = self.rfile.read(int(self.headers["Content-Length"]))
        answer.update(json.loads(body))
        self.send_response(204)
        self.end_headers()
        arrived.set()

    def log_message(self, *args):
        pass


def sandboxes():
    """How Chromium's renderers are confined: for each, its seccomp mode and
    whether it has a user namespace of its own (the namespace sandbox)."""
    own = os.readlink("/proc/self/ns/user")
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as file:
                # The zygote's children retitle themselves: one string, words apart by spaces.
                if b"--type=renderer" not in file.read():
                    continue
            with open(f"/proc/{pid}/status") as file:
                seccomp = next(line.split()[1] for line in file if line.startswith("Seccomp:"))
        except (OSError, StopIteration):
            continue
        try:
            namespace = os.readlink(f"/proc/{pid}/ns/user") != own
        except OSError:
            namespace = None  # not ours to look at: a namespace of its own
        found.append({"seccomp": int(seccomp), "namespace": namespace})
    return found


def main():
    chromium, seconds, extra = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory() as profile:
        browser = subprocess.Popen(
            [chromium, "--headless=new", "--use-fake-ui-for-media-stream", "--no-first-run",
             "--disable-gpu", f"--user-data-dir={profile}", *extra,
             f"http://127.0.0.1:{server.server_port}/"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env={**os.environ, "HOME": profile})
        came = arrived.wait(seconds)
        answer["renderers"] = sandboxes()
        browser.terminate()
        try:
            _, errors = browser.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            browser.kill()
            _, errors = browser.communicate()
    server.shutdown()
    if not came:
        answer["error"] = "no answer from the page; chromium said: " + errors.decode(errors="replace")[-2000:]
    print(json.dumps(answer))
    return 0 if came else 1


if __name__ == "__main__":
    sys.exit(main())
