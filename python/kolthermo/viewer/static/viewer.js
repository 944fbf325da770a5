// The viewer page: draws the frames the server sends over the WebSocket,
// measures with the tools the user draws and sends the user's choices back.
// Frame messages: uint32 header length, JSON header (padded to 4 bytes),
// RGBA pixels, float32 temperatures (-999 where none).
"use strict";

const NO_TEMPERATURE = -999;
const $ = (id) => document.getElementById(id);

const view = {
  width: 384,
  height: 288,
  palettes: {},
  settings: null,
  frame: null, // newest drawn: {header, celsius}
  tools: [], // [{kind, coords}] as the server holds them
  mode: null, // the tool being placed: "spot", "box", "line" or null
  draft: null, // a box or line being dragged, frame pixels
  cursor: null, // [x, y] in frame pixels while over the picture
  state: "starting",
};

// For the benchmark and the tests: frames drawn and their frame-to-screen times in ms.
window.viewerStats = { frames: 0, latencies: [], lastFrame: 0, palette: null };
const KEEP_LATENCIES = 5000;

const token = new URLSearchParams(location.search).get("token");
const pictureContext = $("picture").getContext("2d");
const overlay = $("overlay");
const overlayContext = overlay.getContext("2d");
let socket = null;

function send(request) {
  if (socket && socket.readyState === WebSocket.OPEN) socket.send(JSON.stringify(request));
}

function say(text) {
  $("message").textContent = text;
}

function celsiusText(value) {
  return value === null || value === undefined || value <= NO_TEMPERATURE
    ? "–"
    : value.toFixed(1) + " °C";
}

// ---- frames -------------------------------------------------------------

function onFrame(buffer) {
  const length = new DataView(buffer).getUint32(0, true);
  const header = JSON.parse(new TextDecoder().decode(new Uint8Array(buffer, 4, length)));
  const pixels = header.width * header.height;
  const start = 4 + length;
  if (header.width !== view.width || header.height !== view.height) resize(header.width, header.height);
  const rgba = new Uint8ClampedArray(buffer, start, pixels * 4);
  const celsius = new Float32Array(buffer, start + pixels * 4, pixels);
  pictureContext.putImageData(new ImageData(rgba, header.width, header.height), 0, 0);
  view.frame = { header, celsius };
  drawOverlay();
  showReadings();
  requestAnimationFrame(() => {
    // The frame is on screen once the browser paints after putImageData.
    const stats = window.viewerStats;
    stats.latencies.push(performance.timeOrigin + performance.now() - header.stamp);
    if (stats.latencies.length > KEEP_LATENCIES) stats.latencies.shift();
    stats.frames += 1;
    stats.lastFrame = header.frame;
    stats.palette = header.palette;
    send({ type: "ack" });
  });
}

function resize(width, height) {
  view.width = width;
  view.height = height;
  $("picture").width = width;
  $("picture").height = height;
}

function showReadings() {
  const header = view.frame.header;
  $("hottest").textContent = header.hottest ? celsiusText(header.hottest.celsius) : "–";
  $("coldest").textContent = header.coldest ? celsiusText(header.coldest.celsius) : "–";
  showCursor();
  drawScale(header);
  const rows = $("tools");
  rows.textContent = "";
  view.tools.forEach((tool, index) => {
    const stats = header.tools ? header.tools[index] : null;
    const row = rows.insertRow();
    row.dataset.kind = tool.kind;
    const cells = [String(index + 1), tool.kind];
    for (const key of ["min", "max", "mean"]) cells.push(stats ? celsiusText(stats[key]) : "–");
    cells.forEach((text, column) => {
      const cell = row.insertCell();
      cell.textContent = text;
      if (column >= 2 && stats) cell.dataset.value = stats[["min", "max", "mean"][column - 2]];
    });
  });
}

function showCursor() {
  if (!view.cursor || !view.frame) {
    $("cursor-temp").textContent = "–";
    return;
  }
  const [x, y] = view.cursor;
  const value = view.frame.celsius[y * view.width + x];
  $("cursor-temp").textContent = `${celsiusText(value)} at (${x}, ${y})`;
  $("cursor-temp").dataset.value = value;
}

let drawnScale = "";
function drawScale(header) {
  const key = [header.palette, header.low, header.high].join();
  if (key === drawnScale) return;
  drawnScale = key;
  const colours = view.palettes[header.palette];
  const bar = $("scale-bar");
  if (colours) {
    bar.height = colours.length;
    const context = bar.getContext("2d");
    colours.forEach(([r, g, b], index) => {
      context.fillStyle = `rgb(${r},${g},${b})`;
      context.fillRect(0, colours.length - 1 - index, 1, 1); // the hottest colour at the top
    });
  }
  const labels = $("scale-labels");
  labels.textContent = "";
  if (header.low === null || header.high === null || header.high <= header.low) return;
  const height = bar.clientHeight;
  for (const value of header.labels) {
    const label = document.createElement("span");
    label.textContent = value.toFixed(1) + " °C";
    label.style.top = `${height * (1 - (value - header.low) / (header.high - header.low))}px`;
    labels.appendChild(label);
  }
}

// ---- the overlay: tools, hottest and coldest --------------------------

function drawOverlay() {
  const c = overlayContext;
  const sx = overlay.width / view.width;
  const sy = overlay.height / view.height;
  c.clearRect(0, 0, overlay.width, overlay.height);
  c.lineWidth = 2;
  c.font = "13px sans-serif";
  const shapes = view.draft ? view.tools.concat([view.draft]) : view.tools;
  // Each tool twice: a dark outline, then white, so it shows on hot and cold parts alike.
  for (const [colour, width] of [["#000000", 4], ["#ffffff", 2]]) {
    c.strokeStyle = colour;
    c.fillStyle = colour;
    c.lineWidth = width;
    shapes.forEach((tool, index) => drawTool(c, tool, index, sx, sy));
  }
  c.lineWidth = 2;
  const header = view.frame && view.frame.header;
  if (!header) return;
  for (const [mark, colour] of [[header.hottest, "#ff4020"], [header.coldest, "#20a0ff"]]) {
    if (!mark) continue;
    const x = (mark.at[0] + 0.5) * sx;
    const y = (mark.at[1] + 0.5) * sy;
    c.strokeStyle = colour;
    c.fillStyle = colour;
    c.beginPath();
    c.moveTo(x - 8, y - 8);
    c.lineTo(x + 8, y + 8);
    c.moveTo(x + 8, y - 8);
    c.lineTo(x - 8, y + 8);
    c.stroke();
    c.fillText(celsiusText(mark.celsius), Math.min(x + 10, overlay.width - 70), Math.max(y - 6, 14));
  }
}

function drawTool(c, tool, index, sx, sy) {
  const [a, b, w, h] = tool.coords;
  if (tool.kind === "spot") {
    c.beginPath();
    c.arc((a + 0.5) * sx, (b + 0.5) * sy, 6, 0, 2 * Math.PI);
    c.moveTo((a + 0.5) * sx - 10, (b + 0.5) * sy);
    c.lineTo((a + 0.5) * sx + 10, (b + 0.5) * sy);
    c.moveTo((a + 0.5) * sx, (b + 0.5) * sy - 10);
    c.lineTo((a + 0.5) * sx, (b + 0.5) * sy + 10);
    c.stroke();
  } else if (tool.kind === "box") {
    c.strokeRect(a * sx, b * sy, w * sx, h * sy);
  } else {
    c.beginPath();
    c.moveTo((a + 0.5) * sx, (b + 0.5) * sy);
    c.lineTo((w + 0.5) * sx, (h + 0.5) * sy);
    c.stroke();
  }
  if (tool !== view.draft) c.fillText(String(index + 1), a * sx + 8, b * sy - 6);
}

function framePoint(event) {
  const rect = overlay.getBoundingClientRect();
  const x = Math.floor(((event.clientX - rect.left) / rect.width) * view.width);
  const y = Math.floor(((event.clientY - rect.top) / rect.height) * view.height);
  return [Math.max(0, Math.min(view.width - 1, x)), Math.max(0, Math.min(view.height - 1, y))];
}

function draftFrom(start, end) {
  if (view.mode === "box") {
    const x = Math.min(start[0], end[0]);
    const y = Math.min(start[1], end[1]);
    return { kind: "box", coords: [x, y, Math.abs(end[0] - start[0]) + 1, Math.abs(end[1] - start[1]) + 1] };
  }
  return { kind: "line", coords: [start[0], start[1], end[0], end[1]] };
}

let dragStart = null;
overlay.addEventListener("mousedown", (event) => {
  if (!view.mode) return;
  const point = framePoint(event);
  if (view.mode === "spot") {
    sendTools(view.tools.concat([{ kind: "spot", coords: point }]));
    return;
  }
  dragStart = point;
  view.draft = draftFrom(point, point);
});
overlay.addEventListener("mousemove", (event) => {
  view.cursor = framePoint(event);
  if (dragStart) view.draft = draftFrom(dragStart, view.cursor);
  showCursor();
  drawOverlay();
});
window.addEventListener("mouseup", (event) => {
  if (!dragStart) return;
  const draft = draftFrom(dragStart, framePoint(event));
  dragStart = null;
  view.draft = null;
  sendTools(view.tools.concat([draft]));
});
overlay.addEventListener("mouseleave", () => {
  view.cursor = null;
  showCursor();
});

function sendTools(tools) {
  send({ type: "settings", tools });
}

function chooseMode(mode) {
  view.mode = view.mode === mode ? null : mode;
  for (const button of document.querySelectorAll("button[data-tool]")) {
    button.classList.toggle("active", button.dataset.tool === view.mode);
  }
}

for (const button of document.querySelectorAll("button[data-tool]")) {
  button.addEventListener("click", () => chooseMode(button.dataset.tool));
}
$("tool-clear").addEventListener("click", () => sendTools([]));

// ---- controls -------------------------------------------------------------

function showSettings(settings) {
  view.settings = settings;
  view.tools = settings.tools;
  $("palette").value = settings.palette;
  $("range").value = settings.range;
  $("manual-range").hidden = settings.range !== "manual";
  if (document.activeElement !== $("low")) $("low").value = settings.low;
  if (document.activeElement !== $("high")) $("high").value = settings.high;
  $("emissivity").value = settings.emissivity;
  $("reflected").value = settings.reflected;
  drawOverlay();
}

$("palette").addEventListener("change", () => send({ type: "settings", palette: $("palette").value }));
$("range").addEventListener("change", () => send({ type: "settings", range: $("range").value }));
for (const id of ["low", "high"]) {
  $(id).addEventListener("change", () =>
    send({ type: "settings", range: "manual", low: Number($("low").value), high: Number($("high").value) }));
}
$("apply-object").addEventListener("click", () =>
  send({ type: "settings", emissivity: Number($("emissivity").value), reflected: Number($("reflected").value) }));
$("snapshot").addEventListener("click", () => send({ type: "snapshot" }));
$("record").addEventListener("click", () =>
  send({ type: "record", on: !$("record").classList.contains("active") }));
$("camera").addEventListener("change", () => send({ type: "select", slot: Number($("camera").value) }));
$("sim-apply").addEventListener("click", () =>
  send({ type: "sim", action: $("sim-scene").value, celsius: Number($("sim-celsius").value) }));
$("sim-unplug").addEventListener("click", () => send({ type: "sim", action: "unplug" }));
$("sim-replug").addEventListener("click", () => send({ type: "sim", action: "replug" }));

function showStatus(status) {
  view.state = status.state;
  const badge = $("state");
  badge.textContent = status.state === "lost" ? `lost (${status.event || "no frames"})` : status.state;
  badge.className = "state " + status.state;
  $("lost-banner").hidden = status.state !== "lost";
  const select = $("camera");
  select.textContent = "";
  for (const camera of status.cameras) {
    select.add(new Option(`${camera.slot}: ${camera.name}`, String(camera.slot)));
  }
  select.value = String(status.slot);
  const recording = $("record");
  recording.classList.toggle("active", Boolean(status.recording));
  recording.textContent = status.recording ? "Stop recording" : "Record";
}

function onText(message) {
  switch (message.type) {
    case "hello": {
      view.palettes = message.palettes;
      resize(message.width, message.height);
      const select = $("palette");
      select.textContent = "";
      for (const name of Object.keys(message.palettes)) select.add(new Option(name, name));
      $("sim-panel").hidden = !message.simulated;
      $("output").textContent = "Files go to " + message.output;
      showSettings(message.settings);
      break;
    }
    case "settings":
      showSettings(message.settings);
      break;
    case "status":
      showStatus(message);
      break;
    case "result":
      if (message.what === "snapshot") say("Saved " + message.files.join(", "));
      else if (message.text) say((message.what === "record" ? "Recording " : "") + message.text);
      break;
    case "error":
      say("Refused: " + message.text);
      break;
  }
}

// ---- connection -----------------------------------------------------------

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  const query = token ? "?token=" + encodeURIComponent(token) : "";
  socket = new WebSocket(`${scheme}//${location.host}/ws${query}`);
  socket.binaryType = "arraybuffer";
  socket.onmessage = (event) => {
    if (typeof event.data === "string") onText(JSON.parse(event.data));
    else onFrame(event.data);
  };
  socket.onclose = () => {
    $("state").textContent = "disconnected";
    $("state").className = "state lost";
    setTimeout(connect, 2000);
  };
}

// Frames per second as drawn, once a second.
let countedFrames = 0;
setInterval(() => {
  const drawn = window.viewerStats.frames;
  $("frame-rate").textContent = `${drawn - countedFrames} frames/s`;
  countedFrames = drawn;
}, 1000);

connect();
