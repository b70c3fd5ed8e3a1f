// What every browser test shares: the Debian chromium, headless, driven by
// playwright-core (which never downloads a browser of its own) from the
// npm folder the build made; a page in a fresh profile per case; the
// host's answers to requests made by hand; and the running of one case by
// its name. Loopback only, and every wait is bounded.

import http from "node:http";
import { createRequire } from "node:module";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";

// The longest any one wait may take, in milliseconds.
export const kWait = 15000;

const kBrowserFlags = ["--headless", "--no-sandbox", "--disable-gpu",
	"--disable-quic", "--no-first-run", "--disable-background-networking",
	"--disable-component-update", "--disable-sync"];

export function check(condition, message) {
	if (!condition)
		throw new Error("check failed: " + message);
}

// A phone held upright, as Chromium emulates one: its screen in CSS
// pixels, touch, and three device pixels to the CSS pixel.
export const kPhone = {
	viewport: { width: 390, height: 844 },
	isMobile: true,
	hasTouch: true,
	deviceScaleFactor: 3,
};

// The body gets a page of a browser of its own, with a fresh profile that
// is gone afterwards, whatever the body did; the device (kPhone) replaces
// the desktop's window.
export async function withPage(npmFolder, profilePrefix, body, device) {
	const require = createRequire(path.resolve(npmFolder, "package.json"));
	const { chromium } = require("playwright-core");
	const profile = mkdtempSync(path.join(tmpdir(), profilePrefix));
	let browser = null;
	try {
		// playwright passes the profile to chromium as its --user-data-dir.
		browser = await chromium.launchPersistentContext(profile, {
			executablePath: "/usr/bin/chromium",
			args: kBrowserFlags,
			viewport: { width: 1000, height: 620 },
			timeout: kWait,
			...device,
		});
		const page = browser.pages()[0] ?? await browser.newPage();
		page.setDefaultTimeout(kWait);
		await body(page);
	} finally {
		if (browser !== null)
			await browser.close();
		rmSync(profile, { recursive: true, force: true });
	}
}

// What the terminal holds, scrollback and all, and a reader that waits for
// texts after what it found before, as pexpect does.
function terminalText(page) {
	return page.evaluate(() => {
		const buffer = terminal.buffer.active;
		const lines = [];
		for (let i = 0; i < buffer.length; i++)
			lines.push(buffer.getLine(i).translateToString(true));
		return lines.join("\n");
	});
}

export class Screen {
	constructor(page) {
		this.page = page;
		this.seen = 0;
	}

	// Waits for the first of the texts; its index.
	async expect(...texts) {
		const deadline = Date.now() + kWait;
		let text = "";
		while (Date.now() < deadline) {
			text = await terminalText(this.page);
			let first = null;
			texts.forEach((wanted, index) => {
				const at = text.indexOf(wanted, this.seen);
				if (at >= 0 && (first === null || at < first.at))
					first = { at, index, length: wanted.length };
			});
			if (first !== null) {
				this.seen = first.at + first.length;
				return first.index;
			}
			await new Promise((resolve) => setTimeout(resolve, 25));
		}
		throw new Error(JSON.stringify(texts) + " never showed; the terminal:\n"
			+ text.slice(this.seen));
	}

	async type(keys) {
		await this.page.keyboard.type(keys);
	}

	async line(text) {
		await this.page.keyboard.type(text);
		await this.page.keyboard.press("Enter");
	}
}

// A WebSocket handshake by hand, to see the host's answer itself: its
// status code.
export function handshake(port, headers) {
	return new Promise((resolve, reject) => {
		const request = http.get({
			host: "127.0.0.1", port, path: "/ws",
			headers: {
				Connection: "Upgrade", Upgrade: "websocket",
				"Sec-WebSocket-Version": "13",
				"Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ==",
				...headers,
			},
			timeout: kWait,
		});
		request.on("upgrade", (response, socket) => {
			socket.destroy();
			resolve(response.statusCode);
		});
		request.on("response", (response) => {
			response.resume();
			resolve(response.statusCode);
		});
		request.on("timeout", () => reject(new Error("no answer")));
		request.on("error", reject);
	});
}

// A plain GET: its status and body.
export function get(port, target) {
	return new Promise((resolve, reject) => {
		http.get({ host: "127.0.0.1", port, path: target, timeout: kWait },
			(response) => {
				let body = "";
				response.on("data", (data) => { body += data; });
				response.on("end", () =>
					resolve({ status: response.statusCode, body }));
			}).on("error", reject);
	});
}

// Runs the case of the table by its name, within the time limit; the
// process's exit status says how it went (2: no such case).
export function runCase(cases, caseName, limit) {
	const run = cases[caseName];
	if (run === undefined) {
		console.error("no case " + caseName + "; the cases: "
			+ Object.keys(cases).join(", "));
		process.exit(2);
	}
	const deadline = setTimeout(() => {
		console.error(caseName + " took too long");
		process.exit(1);
	}, limit);
	run().then(() => {
		clearTimeout(deadline);
		console.log(caseName + " passed");
	}, (error) => {
		console.error(error);
		process.exit(1);
	});
}
