// The web terminal in a real browser: the Debian chromium, headless,
// driven by playwright-core (which never downloads a browser of its own),
// against WebHarness, a small host that echoes keys in capitals.
//
// Usage: node web_terminal_test.mjs HARNESS PAGE-FOLDER NPM-FOLDER
//            OUTPUT-FOLDER CASE
//
// Loopback only, ephemeral ports, a fresh browser profile per case (see
// ../support/browser.mjs).

import { spawn } from "node:child_process";
import { mkdirSync } from "node:fs";
import net from "node:net";
import path from "node:path";
import readline from "node:readline";

import { check, get, handshake, kWait, runCase, withPage }
	from "../support/browser.mjs";

const [harnessPath, pageFolder, npmFolder, outputFolder, caseName]
	= process.argv.slice(2);

async function startHarness(...options) {
	const child = spawn(harnessPath, [pageFolder, ...options],
		{ stdio: ["ignore", "pipe", "inherit"] });
	const lines = readline.createInterface({ input: child.stdout });
	const log = [];
	const port = await new Promise((resolve, reject) => {
		const timer = setTimeout(() => reject(new Error("no port")), kWait);
		lines.on("line", (line) => {
			log.push(line);
			if (line.startsWith("port ")) {
				clearTimeout(timer);
				resolve(Number(line.slice(5)));
			}
		});
		child.on("exit", () => reject(new Error("the harness stopped")));
	});
	const exited = new Promise((resolve) =>
		child.on("exit", (code, signal) => resolve(signal ?? code)));
	// However the case ends, the harness goes with it.
	process.on("exit", () => child.kill("SIGTERM"));
	return { child, port, log, exited };
}

// Stops the harness and checks that it went cleanly (a sanitizer's report
// makes its exit status other than 0).
async function stopHarness(harness) {
	harness.child.kill("SIGTERM");
	const status = await harness.exited;
	check(status === 0, "the harness ended with " + status);
}

async function withBrowser(body) {
	const harness = await startHarness();
	try {
		await withPage(npmFolder, "web-terminal-",
			(page) => body(page, harness));
	} finally {
		await stopHarness(harness);
	}
}

// The terminal's screen as text (xterm.js draws its rows into the DOM).
function screenText(page) {
	return page.evaluate(() =>
		document.querySelector(".xterm-rows").innerText);
}

async function waitForText(page, text) {
	try {
		await page.waitForFunction((wanted) =>
			document.querySelector(".xterm-rows").innerText.includes(wanted),
			text, { timeout: kWait });
	} catch (error) {
		throw new Error("\"" + text + "\" never showed; the screen:\n"
			+ await screenText(page));
	}
}

async function openTerminal(page, port) {
	await page.goto("http://127.0.0.1:" + port + "/");
	await waitForText(page, "Welcome to the echo board.");
	await page.click("#terminal");
}

// Seconds until the host hangs up on a connection that says nothing.
function silence(port) {
	return new Promise((resolve, reject) => {
		const started = Date.now();
		const socket = net.connect(port, "127.0.0.1");
		socket.setTimeout(kWait, () => reject(new Error("never hung up")));
		socket.on("close", () => resolve((Date.now() - started) / 1000));
		socket.on("error", () => {});
	});
}

const cases = {
	async PageEchoesKeysAndKeepsTheWindowSize() {
		await withBrowser(async (page, harness) => {
			await openTerminal(page, harness.port);
			// The fit add-on's size reaches the host, which reports it.
			const size = await page.evaluate(() =>
				terminal.cols + "x" + terminal.rows);
			await waitForText(page, "Window " + size);
			check(await page.evaluate(() => terminal.cols) >= 80,
				"a board's 80 columns fit the window");

			await page.keyboard.type("hello there");
			await page.keyboard.press("Enter");
			await waitForText(page, "HELLO THERE");

			const looks = await page.evaluate(() => ({
				background: getComputedStyle(document.body).backgroundColor,
				font: terminal.options.fontFamily,
			}));
			check(looks.background === "rgb(0, 0, 0)", "a dark screen");
			check(looks.font.includes("DejaVu Sans Mono"),
				"a monospaced font the machine has");

			mkdirSync(outputFolder, { recursive: true });
			await page.screenshot({
				path: path.join(outputFolder, "web-terminal.png") });

			// A smaller window: a smaller font keeps the board's 80
			// columns, down to 12 pixels, and the new size reaches the host.
			await page.setViewportSize({ width: 700, height: 420 });
			await page.waitForFunction((before) => terminal.cols + "x"
				+ terminal.rows !== before, size);
			const smaller = await page.evaluate(() => ({
				size: terminal.cols + "x" + terminal.rows,
				columns: terminal.cols,
				font: terminal.options.fontSize,
			}));
			check(smaller.columns >= 80 && smaller.font >= 12,
				"80 columns in a readable font: " + JSON.stringify(smaller));
			await waitForText(page, "Window " + smaller.size);
		});
	},

	// The host ending the call is an end, not a failure; only a line that
	// drops says so.
	async ClosedSocketOffersReconnect() {
		await withBrowser(async (page, harness) => {
			await openTerminal(page, harness.port);
			check(await page.isHidden("#lost"), "no notice while connected");
			await page.keyboard.type("Q");
			await waitForText(page, "Bye");
			await page.waitForSelector("#ended", { state: "visible" });
			check((await page.innerText("#ended")).includes(
				"The call has ended."), "the notice says the call ended");
			check(await page.isHidden("#lost"), "no connection lost");
			await page.click("#call-again");
			await page.waitForSelector("#ended", { state: "hidden" });
			await page.waitForFunction(() => document.querySelector(
				".xterm-rows").innerText.split("Welcome to the echo board.")
				.length === 3);

			// The line drops (no close frame from the host).
			await page.evaluate(() => socket.close());
			await page.waitForSelector("#lost", { state: "visible" });
			check((await page.innerText("#lost")).includes("connection lost"),
				"the notice says the connection was lost");
			await page.click("#reconnect");
			await page.waitForSelector("#lost", { state: "hidden" });
			await page.waitForFunction(() => document.querySelector(
				".xterm-rows").innerText.split("Welcome to the echo board.")
				.length === 4);
			await page.click("#terminal");
			await page.keyboard.type("again");
			await page.keyboard.press("Enter");
			await waitForText(page, "AGAIN");
			check(harness.log.filter((line) => line.startsWith("opened "))
				.length === 3, "each call opened a new socket");
		});
	},

	async OversizedMessageEndsTheCall() {
		await withBrowser(async (page, harness) => {
			await openTerminal(page, harness.port);
			// A paste under the cap is taken whole (and echoed back); one
			// over it ends the call. The close code is 1009 when the
			// browser reads the host's close frame before the host hangs
			// up on the rest of the message, 1006 when it does not.
			const outcome = await page.evaluate(() => new Promise((resolve) => {
				const socket = new WebSocket("ws://" + location.host + "/ws");
				socket.binaryType = "arraybuffer";
				let echoed = 0;
				socket.onopen = () =>
					socket.send(new Uint8Array(60000).fill(97));
				socket.onmessage = (event) => {
					if (!(event.data instanceof ArrayBuffer))
						return;
					const bytes = new Uint8Array(event.data);
					echoed += bytes.filter((byte) => byte === 65).length;
					if (echoed === 60000)
						socket.send(new Uint8Array(100000));
				};
				socket.onclose = (event) =>
					resolve({ echoed, code: event.code });
			}));
			check(outcome.echoed === 60000, "the paste under the cap came back"
				+ " whole, not " + outcome.echoed + " bytes");
			check(outcome.code === 1009 || outcome.code === 1006,
				"closed as too big, not " + outcome.code);
		});
	},

	async SilentConnectionIsDropped() {
		const harness = await startHarness("1");
		try {
			const [quiet, page] = await Promise.all([silence(harness.port),
				get(harness.port, "/")]);
			check(page.status === 200, "the page is served meanwhile");
			check(quiet >= 1 && quiet < 3, "dropped after " + quiet + " s");
		} finally {
			await stopHarness(harness);
		}
	},

	async OtherOriginsAndPathsAreRefused() {
		const harness = await startHarness();
		try {
			const port = harness.port;
			const own = "http://127.0.0.1:" + port;
			check(await handshake(port, { Origin: own }) === 101,
				"the page's own origin is let in");
			check(await handshake(port, { Origin: "http://evil.example" })
				=== 403, "another origin is refused");
			check(await handshake(port, {
				Origin: "http://127.0.0.1:" + (port + 1) }) === 403,
				"another port is another origin");
			check(await handshake(port, {}) === 403,
				"no origin is refused");
			check((await get(port, "/")).status === 200, "the page is served");
			check((await get(port, "/xterm.js")).status === 200,
				"xterm.js is served");
			for (const other of ["/nothing", "/package.json", "/../etc/passwd",
				"/ws"])
				check((await get(port, other)).status === 404,
					other + " is not found");
		} finally {
			await stopHarness(harness);
		}
	},
};

runCase(cases, caseName, 60000);
