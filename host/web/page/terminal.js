// The web terminal: xterm.js on a WebSocket to the host, on the same
// origin as this page. Binary frames carry the caller's bytes both ways;
// a text frame "resize COLUMNS ROWS" tells the host the window's size.
"use strict";

const terminal = new Terminal({
	cols: 80,
	rows: 24,
	fontFamily: '"DejaVu Sans Mono", "Liberation Mono", monospace',
	fontSize: 16,
	theme: { background: "#000000", foreground: "#cccccc" },
	cursorBlink: true,
});
const fit = new FitAddon.FitAddon();
terminal.loadAddon(fit);
terminal.open(document.getElementById("terminal"));

const lost = document.getElementById("lost");
const encoder = new TextEncoder();
let socket = null;

function sendSize() {
	if (socket !== null && socket.readyState === WebSocket.OPEN)
		socket.send("resize " + terminal.cols + " " + terminal.rows);
}

function connect() {
	const scheme = location.protocol === "https:" ? "wss:" : "ws:";
	const opened = new WebSocket(scheme + "//" + location.host + "/ws");
	opened.binaryType = "arraybuffer";
	opened.onopen = () => {
		lost.hidden = true;
		sendSize();
		terminal.focus();
	};
	opened.onmessage = (event) => {
		if (event.data instanceof ArrayBuffer)
			terminal.write(new Uint8Array(event.data));
	};
	opened.onclose = () => {
		if (socket !== opened)
			return;
		socket = null;
		lost.hidden = false;
		document.getElementById("reconnect").focus();
	};
	socket = opened;
}

terminal.onData((data) => {
	if (socket !== null && socket.readyState === WebSocket.OPEN)
		socket.send(encoder.encode(data));
});
terminal.onBinary((data) => {
	if (socket !== null && socket.readyState === WebSocket.OPEN)
		socket.send(Uint8Array.from(data, (c) => c.charCodeAt(0)));
});
terminal.onResize(sendSize);

// 80 columns until the page knows its window; from then on the window's
// own size, which the host keeps as the caller's.
window.addEventListener("resize", () => fit.fit());
fit.fit();

document.getElementById("reconnect").addEventListener("click", connect);
connect();
