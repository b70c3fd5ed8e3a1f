// The board as a caller meets it in the browser: the Debian chromium,
// headless, driven by playwright-core, at the web terminal of the real host
// (zenbo with the door on a boot volume of its own), which serves the page
// from its installed files.
//
// Usage: node web_board_test.mjs ZENBO DRELMOOR NPM-FOLDER OUTPUT-FOLDER CASE
//
// Loopback only, an ephemeral port, a fresh volume and browser profile per
// case (see ../support/browser.mjs).

import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, mkdirSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";

import { Screen, check, get, handshake, kWait, runCase, withPage }
	from "../support/browser.mjs";

const [zenbo, drelmoor, npmFolder, outputFolder, caseName]
	= process.argv.slice(2);

const kPassword = "secret123";

// The host on a volume of its own; its log is kept to be looked at.
async function startBoard() {
	const folder = mkdtempSync(path.join(tmpdir(), "zenbo-web-"));
	const volume = path.join(folder, "boot");
	const made = spawnSync(zenbo, ["--make-volume", "--volume", volume]);
	check(made.status === 0, "the volume was laid out");
	const child = spawn(zenbo, ["--web", "127.0.0.1:0", "--volume", volume,
		"--door", drelmoor, "--grace", "30"],
		{ stdio: ["ignore", "pipe", "pipe"] });
	const board = { child, folder, volume, log: "" };
	for (const stream of [child.stdout, child.stderr])
		stream.on("data", (data) => { board.log += data.toString(); });
	board.exited = new Promise((resolve) =>
		child.on("exit", (code, signal) => resolve(signal ?? code)));
	process.on("exit", () => child.kill("SIGKILL"));
	const found = await waitForLog(board,
		/serving the web terminal at \S+ port (\d+)/);
	board.port = Number(found[1]);
	return board;
}

async function waitForLog(board, pattern) {
	const deadline = Date.now() + kWait;
	while (Date.now() < deadline) {
		const found = board.log.match(pattern);
		if (found !== null)
			return found;
		await new Promise((resolve) => setTimeout(resolve, 20));
	}
	throw new Error("no " + pattern + " in the host's log:\n" + board.log);
}

// Stops the host as a sysop does; it must end cleanly.
async function stopBoard(board) {
	board.child.kill("SIGTERM");
	const status = await board.exited;
	rmSync(board.folder, { recursive: true, force: true });
	check(status === 0, "the host ended with " + status + ":\n" + board.log);
	check(!board.log.includes("Sanitizer"), "the sanitizer complained:\n"
		+ board.log);
}

async function withBoard(body) {
	const board = await startBoard();
	try {
		await withPage(npmFolder, "web-board-", (page) => body(page, board));
	} finally {
		await stopBoard(board);
	}
}

async function openBoard(page, board) {
	await page.goto("http://127.0.0.1:" + board.port + "/");
	const screen = new Screen(page);
	await screen.expect("Welcome to the Drelmoor board.");
	await screen.expect("Name: ");
	await page.click("#terminal");
	return screen;
}

async function register(screen, name) {
	await screen.line(name);
	await screen.expect("Choose a password");
	await screen.line(kPassword);
	await screen.expect("again: ");
	await screen.line(kPassword);
	await screen.expect("Your choice: ");
}

async function enterAsNewPlayer(screen, name) {
	await screen.type("e");
	await screen.expect("What name would you like? [" + name + "] : ");
	await screen.page.keyboard.press("Enter");
	await screen.expect("is this correct");
	await screen.type("y");
	await screen.expect("<" + name + " : Town> ");
}

const cases = {
	async CharacterIsMadeAndFightsInTheBrowser() {
		await withBoard(async (page, board) => {
			const screen = await openBoard(page, board);
			await register(screen, "Ash");

			// The size the page's fit sent is the caller's window.
			const size = await page.evaluate(() =>
				terminal.cols + "x" + terminal.rows);
			await screen.type("w");
			await screen.expect("xterm.js " + size);
			await screen.expect("web");
			await screen.expect("Your choice: ");

			await enterAsNewPlayer(screen, "Ash");
			await screen.type("c");
			await screen.expect("Caves 1> ");
			// A search may find a lucky event instead of a monster.
			let found = 1;
			for (let search = 0; search < 20 && found !== 0; search++) {
				await screen.type("f");
				found = await screen.expect(
					"You are fighting a viscious looking", "Caves 1> ");
			}
			check(found === 0, "a monster was found");
			await screen.expect("What will you do?");
			mkdirSync(outputFolder, { recursive: true });
			await page.screenshot({
				path: path.join(outputFolder, "web-terminal-fight.png") });

			let which = 0;
			for (let round = 0; round < 100 && which === 0; round++) {
				await screen.type("a");
				which = await screen.expect("What will you do?", "Caves 1> ",
					"Your choice: ");
			}
			check(which !== 0, "the fight ended");
			if (which === 1) {
				await screen.type("q");
				await screen.expect("Your choice: ");
			}
			await screen.type("g");
			await screen.expect("Good-bye.");
			await page.waitForSelector("#lost", { state: "visible" });

			await waitForLog(board, /Ash left the door/);
			for (const line of ["web caller connected from 127.0.0.1",
				"Ash registered from 127.0.0.1", "Ash entered the door",
				"Ash disconnected (127.0.0.1)"])
				check(board.log.includes(line), "the log says " + line);
			check(!board.log.includes(kPassword), "no password in the log");
			const account = spawnSync(zenbo, ["account", "Ash", "--show",
				"--volume", board.volume]);
			check(/^Account: +Ash\n/.test(account.stdout.toString()),
				"the account is kept:\n" + account.stdout + account.stderr);
		});
	},

	async ReconnectResumesTheSession() {
		await withBoard(async (page, board) => {
			const screen = await openBoard(page, board);
			await register(screen, "Ash");
			await enterAsNewPlayer(screen, "Ash");
			await screen.type("b");
			await screen.expect("<Ash : Blacksmith> ");

			// The line drops as a network would drop it.
			await page.evaluate(() => socket.close());
			await page.waitForSelector("#lost", { state: "visible" });
			await waitForLog(board, /Ash disconnected/);

			await page.click("#reconnect");
			await page.waitForSelector("#lost", { state: "hidden" });
			await screen.expect("Name: ");
			await page.click("#terminal");
			await screen.line("Ash");
			await screen.expect("Password: ");
			await screen.line(kPassword);
			await screen.expect("<Ash : Blacksmith> ");
			await screen.type("t");
			await screen.expect("<Ash : Town> ");
			await waitForLog(board, /Ash resumed the session/);
			check(board.log.split("Ash entered the door").length === 2,
				"one session all along");
		});
	},

	async PasswordChangedAndCallsLoggedOverTheWeb() {
		await withBoard(async (page, board) => {
			const screen = await openBoard(page, board);
			await register(screen, "Ash");
			await screen.type("c");
			await screen.expect("Your password now: ");
			await screen.line(kPassword);
			await screen.expect("not shown): ");
			await screen.line("webpass99");
			await screen.expect("again: ");
			await screen.line("webpass99");
			await screen.expect("Your password is changed.");
			await screen.expect("Your choice: ");
			await screen.type("g");
			await page.waitForSelector("#lost", { state: "visible" });

			await page.click("#reconnect");
			await page.waitForSelector("#lost", { state: "hidden" });
			await screen.expect("Name: ");
			await page.click("#terminal");
			await screen.line("Ash");
			await screen.expect("Password: ");
			await screen.line("webpass99");
			await screen.expect("Your choice: ");
			await screen.type("l");
			await screen.expect("Last callers:");
			await screen.expect("Your choice: ");
			const shown = await page.evaluate(() => {
				const buffer = terminal.buffer.active;
				const lines = [];
				for (let i = 0; i < buffer.length; i++)
					lines.push(buffer.getLine(i).translateToString(true));
				return lines;
			});
			const rows = shown.filter((line) => /^  Ash +web /.test(line));
			check(rows.length >= 2, "the web calls are last callers:\n"
				+ shown.join("\n"));
			check(!shown.some((line) => line.includes("127.0.0.1")),
				"no address among the last callers");
			await screen.type("g");
			await page.waitForSelector("#lost", { state: "visible" });
			await waitForLog(board, /Ash disconnected[^]*Ash disconnected/);

			const calls = spawnSync(zenbo, ["calls", "--volume",
				board.volume]).stdout.toString().split("\n");
			const web = calls.filter((line) =>
				/  Ash +web +\d+:\d\d:\d\d  good-bye +127\.0\.0\.1$/
					.test(line));
			check(web.length === 2, "zenbo calls lists both web calls:\n"
				+ calls.join("\n"));
		});
	},

	async PageComesFromTheHostsFilesAndOtherOriginsAreRefused() {
		const board = await startBoard();
		try {
			const port = board.port;
			const page = await get(port, "/");
			check(page.status === 200 && page.body.includes("terminal.js"),
				"the page is served");
			check((await get(port, "/xterm.js")).status === 200,
				"xterm.js is served");
			check((await get(port, "/accounts")).status === 404,
				"nothing else is");
			check(await handshake(port, { Origin: "http://evil.example" })
				=== 403, "another origin is refused");
			check(await handshake(port, {
				Origin: "http://127.0.0.1:" + (port + 1) }) === 403,
				"another port is another origin");
			check(await handshake(port, {
				Origin: "http://127.0.0.1:" + port }) === 101,
				"the page's own origin is let in");
			await waitForLog(board, /refused a terminal from origin/);
		} finally {
			await stopBoard(board);
		}
	},

	// The door killed under a caller at the web terminal: told, and back in
	// the front room as a telnet caller is; the next entry finds a new door.
	async DoorKilledReturnsToTheFrontRoom() {
		await withBoard(async (page, board) => {
			const screen = await openBoard(page, board);
			await register(screen, "Ash");
			await enterAsNewPlayer(screen, "Ash");
			const entered = await waitForLog(board,
				/Ash entered the door \(session \S+, team (\d+)\)/);
			const door = Number(entered[1]);
			process.kill(door, "SIGKILL");
			await screen.expect("The door has closed.");
			await screen.expect("Your choice: ");
			await screen.type("e");
			await screen.expect("Welcome back, Ash!");
			await screen.expect("<Ash : Town> ");
			await screen.type("q");
			await screen.expect("Your choice: ");
			await screen.type("g");
			await screen.expect("Good-bye.");
		});
	},
};

runCase(cases, caseName, 120000);
