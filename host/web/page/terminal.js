// The web terminal: xterm.js on a WebSocket to the host, on the same
// origin as this page. Binary frames carry the caller's bytes both ways (in
// UTF-8: the host turns them into the door's own characters); a text frame
// "resize COLUMNS ROWS" tells the host the window's size. When the host
// ends the call (the caller said good-bye) it closes the socket with the
// reason "call ended"; any other close is a line that dropped. The
// socket's address carries the window's size ("/ws?cols=80&rows=24"), so
// the board's first screen fits it.
"use strict";

// Never smaller than this, so a phone's text stays readable; never more
// than this, where a desktop's window has room.
const kSmallestFont = 12;
const kLargestFont = 16;
// The columns a board's screens are made for, and the fewest it is laid
// out in at all.
const kFullColumns = 80;
const kFewestColumns = 40;
const kCallEnded = "call ended";
const kScreenReaderKey = "zenbo-screen-reader";

// What the on-screen keys send: what a phone's keyboard lacks.
const kKeys = {
	enter: "\r",
	backspace: "\x7f",
	escape: "\x1b",
	up: "\x1b[A",
	down: "\x1b[B",
	right: "\x1b[C",
	left: "\x1b[D",
};

const terminal = new Terminal({
	cols: 80,
	rows: 24,
	fontFamily: '"DejaVu Sans Mono", "Liberation Mono", monospace',
	fontSize: kLargestFont,
	theme: { background: "#000000", foreground: "#cccccc" },
	cursorBlink: true,
});
const fit = new FitAddon.FitAddon();
terminal.loadAddon(fit);
const terminalElement = document.getElementById("terminal");
terminal.open(terminalElement);

const lost = document.getElementById("lost");
const ended = document.getElementById("ended");
const encoder = new TextEncoder();
let socket = null;

function sendSize() {
	if (socket !== null && socket.readyState === WebSocket.OPEN)
		socket.send("resize " + terminal.cols + " " + terminal.rows);
}

function send(bytes) {
	if (socket !== null && socket.readyState === WebSocket.OPEN)
		socket.send(bytes);
}

function connect() {
	const scheme = location.protocol === "https:" ? "wss:" : "ws:";
	const opened = new WebSocket(scheme + "//" + location.host + "/ws?cols="
		+ terminal.cols + "&rows=" + terminal.rows);
	opened.binaryType = "arraybuffer";
	opened.onopen = () => {
		lost.hidden = true;
		ended.hidden = true;
		sendSize();
		terminal.focus();
	};
	opened.onmessage = (event) => {
		if (event.data instanceof ArrayBuffer)
			terminal.write(new Uint8Array(event.data));
	};
	opened.onclose = (event) => {
		if (socket !== opened)
			return;
		socket = null;
		const byTheBoard = event.code === 1000 && event.reason === kCallEnded;
		const shown = byTheBoard ? ended : lost;
		shown.hidden = false;
		shown.querySelector("button").focus();
	};
	socket = opened;
}

terminal.onData((data) => send(encoder.encode(data)));
terminal.onBinary((data) =>
	send(Uint8Array.from(data, (c) => c.charCodeAt(0))));
terminal.onResize(sendSize);

// The largest font that still gives the board's 80 columns, down to the
// smallest readable one; then as many columns as the window holds at it,
// never fewer than the board's narrowest screens.
function fitToWindow() {
	let size = kLargestFont;
	terminal.options.fontSize = size;
	let proposed = fit.proposeDimensions();
	while (size > kSmallestFont && proposed !== undefined
		&& proposed.cols < kFullColumns) {
		size--;
		terminal.options.fontSize = size;
		proposed = fit.proposeDimensions();
	}
	if (proposed === undefined)
		return;
	const columns = Math.max(proposed.cols, kFewestColumns);
	const rows = Math.max(proposed.rows, 1);
	if (columns !== terminal.cols || rows !== terminal.rows)
		terminal.resize(columns, rows);
}

// The body follows the visual viewport, which an on-screen keyboard
// shrinks: the terminal and its keys then stand above the keyboard, and
// the prompt's line is scrolled back into view.
let fitting = false;
function windowChanged() {
	if (fitting)
		return;
	fitting = true;
	requestAnimationFrame(() => {
		fitting = false;
		if (window.visualViewport) {
			document.body.style.setProperty("--viewport-height",
				window.visualViewport.height + "px");
			window.scrollTo(0, 0);
		}
		fitToWindow();
		terminal.scrollToBottom();
	});
}
window.addEventListener("resize", windowChanged);
window.addEventListener("orientationchange", windowChanged);
if (window.visualViewport)
	window.visualViewport.addEventListener("resize", windowChanged);
fitToWindow();

// A tap on the terminal brings up the keyboard.
terminalElement.addEventListener("click", () => terminal.focus());

// The on-screen keys keep the terminal's focus, so the phone's keyboard
// stays up while they are pressed.
for (const button of document.querySelectorAll("#keys button")) {
	button.addEventListener("pointerdown", (event) => event.preventDefault());
	button.addEventListener("mousedown", (event) => event.preventDefault());
	button.addEventListener("click", () => {
		send(encoder.encode(kKeys[button.dataset.key]));
		terminal.focus();
	});
}

// The screen reader's switch, remembered in this browser: xterm.js then
// keeps the screen's lines as text for the reader, and reads each new
// line aloud.
const screenReader = document.getElementById("screen-reader");
function storedScreenReader() {
	try {
		return localStorage.getItem(kScreenReaderKey) === "on";
	} catch (error) {
		return false;
	}
}
screenReader.checked = storedScreenReader();
terminal.options.screenReaderMode = screenReader.checked;
screenReader.addEventListener("change", () => {
	terminal.options.screenReaderMode = screenReader.checked;
	try {
		localStorage.setItem(kScreenReaderKey,
			screenReader.checked ? "on" : "off");
	} catch (error) {
		// A browser that keeps nothing: the switch holds for this visit.
	}
});

document.getElementById("reconnect").addEventListener("click", connect);
document.getElementById("call-again").addEventListener("click", () => {
	terminal.write("\r\n");
	connect();
});
connect();
