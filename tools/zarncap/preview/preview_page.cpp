#include "tools/zarncap/preview/preview_page.h"

namespace zarncap {
namespace {

constexpr const char* kPage = R"PAGE(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="zarncap-token" content="@TOKEN@">
<title>zarncap preview</title>
<style>
  body { font: 14px system-ui, sans-serif; margin: 0; background: #202124; color: #e8eaed; display: flex; flex-wrap: wrap; }
  main { padding: 16px; }
  #live { display: block; background: #000; width: 560px; max-width: 95vw; }
  aside { padding: 16px; width: 320px; }
  h1 { font-size: 18px; margin: 0 0 12px; }
  h2 { font-size: 13px; text-transform: uppercase; letter-spacing: .05em; color: #9aa0a6; margin: 18px 0 8px; }
  label { display: block; margin: 6px 0; }
  .slider { display: grid; grid-template-columns: 90px 1fr 36px; align-items: center; gap: 8px; }
  .choices label { display: inline-block; margin-right: 12px; }
  select, button { font: inherit; background: #303134; color: inherit; border: 1px solid #5f6368; border-radius: 4px; padding: 4px 8px; }
  button { cursor: pointer; }
  #figures { font-variant-numeric: tabular-nums; color: #bdc1c6; margin-top: 8px; }
  #message { color: #f28b82; min-height: 1.2em; }
  a.button { color: inherit; text-decoration: none; }
</style>
</head>
<body>
<main>
  <h1>zarncap preview</h1>
  <img id="live" src="/stream.mjpg" alt="live picture from the camera">
  <div id="figures">waiting for the first frame...</div>
</main>
<aside>
  <h2>Picture</h2>
  <div id="controls"></div>
  <h2>Size and format</h2>
  <label>Format <select id="format"></select></label>
  <label>Size <select id="size"></select></label>
  <button id="apply-format">Apply</button>
  <h2>Snapshot</h2>
  <a class="button" id="snapshot" href="/api/snapshot.png" download="snapshot.png"><button>Save a PNG of this frame</button></a>
  <p id="message"></p>
</aside>
<script>
const token = document.querySelector('meta[name="zarncap-token"]').content;
const message = (text) => { document.getElementById('message').textContent = text || ''; };

async function change(path, fields) {
  const response = await fetch(path, {
    method: 'POST',
    headers: { 'X-Zarncap-Token': token, 'Content-Type': 'application/x-www-form-urlencoded' },
    body: new URLSearchParams(fields)
  });
  const text = await response.text();
  if (!response.ok) { message(text); return null; }
  message('');
  return JSON.parse(text);
}

function showControls(state) {
  const box = document.getElementById('controls');
  box.replaceChildren();
  for (const control of state.controls) {
    if (control.range) {
      const [min, max] = control.range;
      const row = document.createElement('label');
      row.className = 'slider';
      row.innerHTML = `<span>${control.name}</span><input type="range" min="${min}" max="${max}"><output></output>`;
      const input = row.querySelector('input'), output = row.querySelector('output');
      input.id = 'control-' + control.name;
      input.value = control.value;
      input.disabled = !control.enabled;
      output.textContent = control.value;
      input.addEventListener('input', () => { output.textContent = input.value; });
      input.addEventListener('change', async () => {
        const after = await change('/api/controls', { [control.name]: input.value });
        if (after) showControls(after);
      });
      box.append(row);
    } else {
      const row = document.createElement('div');
      row.className = 'choices';
      row.append(control.name + ': ');
      for (const choice of control.choices) {
        const label = document.createElement('label');
        label.innerHTML = `<input type="radio" name="${control.name}" value="${choice}"> ${choice}`;
        const radio = label.querySelector('input');
        radio.checked = choice === control.value;
        radio.addEventListener('change', async () => {
          const after = await change('/api/controls', { [control.name]: choice });
          if (after) showControls(after);
        });
        row.append(label);
      }
      box.append(row);
    }
  }
  const gains = state.white_balance_gains;
  const note = document.createElement('div');
  note.id = 'gains';
  note.textContent = `white balance gains: red ${gains.red.toFixed(1)}, green ${gains.green.toFixed(1)}, blue ${gains.blue.toFixed(1)}`;
  box.append(note);
}

let formats = [];
function showSizes() {
  const chosen = formats.find((f) => f.format === document.getElementById('format').value);
  const size = document.getElementById('size');
  size.replaceChildren(...(chosen ? chosen.sizes : []).map((s) => new Option(s, s)));
}

async function start() {
  showControls(await (await fetch('/api/controls')).json());
  const state = await (await fetch('/api/formats')).json();
  formats = state.formats;
  const format = document.getElementById('format');
  format.replaceChildren(...formats.map((f) => new Option(f.format, f.format)));
  format.value = state.current.format;
  showSizes();
  document.getElementById('size').value = state.current.size;
  format.addEventListener('change', showSizes);
  document.getElementById('apply-format').addEventListener('click', async () => {
    await change('/api/format', { format: format.value, size: document.getElementById('size').value });
  });
  const figures = async () => {
    const f = await (await fetch('/api/stats')).json();
    document.getElementById('figures').textContent =
      `${f.width}x${f.height} ${f.format}  ·  ${f.fps.toFixed(1)} fps  ·  ${f.frames} frames, ${f.dropped} dropped  ·  ` +
      `CPU ${f.cpu_ms_per_frame.toFixed(1)} ms per frame  ·  ${f.viewers} viewer${f.viewers === 1 ? '' : 's'}`;
  };
  figures();
  setInterval(figures, 1000);
}
start().catch((error) => message(String(error)));
</script>
</body>
</html>
)PAGE";

}  // namespace

std::string PreviewPage(const std::string& token) {
  std::string page = kPage;
  const std::string mark = "@TOKEN@";
  page.replace(page.find(mark), mark.size(), token);
  return page;
}

}  // namespace zarncap
