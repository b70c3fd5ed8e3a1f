// The board as a caller meets it in the browser: the Debian chromium,
// headless, driven by playwright-core, at the web terminal of the real host
// (zenbo with the door on a boot volume of its own), which serves the page
// from its installed files; on a desktop's window and on a phone's screen
// with touch. ZENBO_SCREENSHOTS=FOLDER keeps screenshots of the phone and
// the desktop there (docs/ holds the ones taken so).
//
// Usage: node web_board_test.mjs ZENBO DRELMOOR NPM-FOLDER OUTPUT-FOLDER CASE
//
// Loopback only, an ephemeral port, a fresh volume and browser profile per
// case (see ../support/browser.mjs).

import { spawn, spawnSync } from "node:child_process";
import { mkdtempSync, mkdirSync, readFileSync, rmSync, writeFileSync }
	from "node:fs";
import { tmpdir } from "node:os";
import path from "node:path";

import { Screen, check, get, handshake, kPhone, kWait, runCase, withPage }
	from "../support/browser.mjs";

const [zenbo, drelmoor, npmFolder, outputFolder, caseName]
	= process.argv.slice(2);

const kPassword = "secret123";

// Where the screenshots of the page go when a developer asks for them
// (ZENBO_SCREENSHOTS=docs): the phone upright and on its side, and the
// desktop.
const kScreenshots = process.env.ZENBO_SCREENSHOTS;

// The door's data with every monster renamed in
// CP437 letters: "Gr\x81mpy R\x84t" is "Grümpy Rät" to the door.
const kCp437Monster = Buffer.from("Gr\x81mpy R\x84t", "latin1");

// The volume's copy of the data is the test's own to change.
function renameMonsters(volume) {
	const file = path.join(volume, "home/Zenbo/doors/vrask/monsters");
	const monsters = readFileSync(file, "latin1");
	// Every level's: one fight in fifty draws from the level below, and
	// so on down, with its own rolls.
	const sections = monsters.split("\n#");
	for (let level = 1; level < sections.length; level++)
		sections[level] = sections[level].replace(/^(?!Level)[^,#\n]+,/gm,
			kCp437Monster.toString("latin1") + ",");
	writeFileSync(file, Buffer.from(sections.join("\n#"), "latin1"));
}

// The host on a volume of its own; its log is kept to be looked at. With
// cp437Monster, every monster has a CP437 name.
async function startBoard({ cp437Monster = false } = {}) {
	const folder = mkdtempSync(path.join(tmpdir(), "zenbo-web-"));
	const volume = path.join(folder, "boot");
	const made = spawnSync(zenbo, ["--make-volume", "--volume", volume]);
	check(made.status === 0, "the volume was laid out");
	if (cp437Monster)
		renameMonsters(volume);
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

async function withBoard(body, { device, cp437Monster } = {}) {
	const board = await startBoard({ cp437Monster });
	try {
		await withPage(npmFolder, "web-board-", (page) => body(page, board),
			device);
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

// From the town into the first cave, searched until a monster stands
// there; its line on the screen.
async function findMonster(screen) {
	await screen.type("c");
	await screen.expect("Caves 1> ");
	let found = 1;
	for (let search = 0; search < 20 && found !== 0; search++) {
		await screen.type("f");
		found = await screen.expect("You are fighting a viscious looking",
			"Caves 1> ");
	}
	check(found === 0, "a monster was found");
	await screen.expect("What will you do?");
}

// Attacks until the fight ends, then back to the front room.
async function fightToTheEnd(screen) {
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
}

// What the page shows a phone: a viewport of its own, a font that can be
// read, the columns it asked for, and nothing beyond the screen's edge.
async function checkFitsThePhone(page, fewestColumns) {
	const fit = await page.evaluate(() => ({
		viewport: document.querySelector("meta[name=viewport]")
			?.getAttribute("content") ?? "",
		font: terminal.options.fontSize,
		cellWidth: document.querySelector(".xterm-screen")
			.getBoundingClientRect().width / terminal.cols,
		columns: terminal.cols,
		rows: terminal.rows,
		scrollWidth: document.documentElement.scrollWidth,
		width: window.innerWidth,
	}));
	check(fit.viewport.includes("width=device-width"), "a viewport: "
		+ fit.viewport);
	check(fit.font >= 12 && fit.cellWidth >= 6, "a readable font: "
		+ JSON.stringify(fit));
	check(fit.columns >= fewestColumns, "at least " + fewestColumns
		+ " columns: " + JSON.stringify(fit));
	check(fit.scrollWidth <= fit.width, "nothing scrolls sideways: "
		+ JSON.stringify(fit));
	// The keys stand below the terminal's screen, never over its prompt.
	const [screenBox, keysBox] = await Promise.all([
		page.locator(".xterm-screen").boundingBox(),
		page.locator("#keys").boundingBox()]);
	check(keysBox.y >= screenBox.y + screenBox.height - 1,
		"the keys cover nothing: " + JSON.stringify([screenBox, keysBox]));
	return fit;
}

async function screenshot(page, name) {
	if (kScreenshots === undefined)
		return;
	mkdirSync(kScreenshots, { recursive: true });
	await page.screenshot({ path: path.join(kScreenshots, name) });
}

function sysopWho(board) {
	const who = spawnSync(zenbo, ["who", "--volume", board.volume],
		{ encoding: "utf8", timeout: kWait });
	check(who.status === 0, "zenbo who ran: " + who.stderr);
	return who.stdout;
}

const cases = {
	// A whole visit on a phone, by taps on the terminal and its keys and
	// typing on the phone's keyboard, upright and then on its side.
	async PhoneVisitByTapsAndTyping() {
		await withBoard(async (page, board) => {
			await page.goto("http://127.0.0.1:" + board.port + "/");
			const screen = new Screen(page);
			await screen.expect("Name: ");
			let fit = await checkFitsThePhone(page, 40);
			check(await page.isVisible("#keys"), "the keys are shown");
			// The board's first screen knew the window: its line broken
			// between words, not within one.
			const lines = await page.evaluate(() => {
				const buffer = terminal.buffer.active;
				const shown = [];
				for (let i = 0; i < buffer.length; i++)
					shown.push(buffer.getLine(i).translateToString(true));
				return shown;
			});
			check(lines.includes("register."), "the welcome fits the window: "
				+ JSON.stringify(lines.slice(0, 5)));
			await screenshot(page, "web-phone-portrait.png");

			// A tap brings up the keyboard: the terminal takes the keys.
			await page.evaluate(() => document.activeElement.blur());
			await page.tap("#terminal");
			check(await page.evaluate(() => document.activeElement
				.classList.contains("xterm-helper-textarea")),
				"the tap focused the terminal");
			const tapKey = (key) => page.tap("#keys [data-key=" + key + "]");
			await screen.type("Asx");
			await tapKey("backspace");
			await screen.type("h");
			await tapKey("enter");
			await screen.expect("There is no account Ash yet");
			for (let twice = 0; twice < 2; twice++) {
				await screen.type(kPassword);
				await tapKey("enter");
			}
			await screen.expect("Your choice: ");
			await screen.type("w");
			await screen.expect("xterm.js " + fit.columns + "x" + fit.rows);
			await screen.expect("Your choice: ");

			// On its side: more columns, and the board sees them.
			await page.setViewportSize({ width: 844, height: 390 });
			await page.waitForFunction(() => terminal.cols >= 80);
			fit = await checkFitsThePhone(page, 80);
			await screen.type("w");
			const size = fit.columns + "x" + fit.rows;
			await screen.expect("xterm.js " + size);
			await screen.expect("Your choice: ");
			check(sysopWho(board).includes(size), "zenbo who shows " + size
				+ ":\n" + sysopWho(board));
			await screenshot(page, "web-phone-landscape.png");

			await enterAsNewPlayer(screen, "Ash");
			await findMonster(screen);
			await fightToTheEnd(screen);
			await screen.type("g");
			await screen.expect("Good-bye.");
			await page.waitForSelector("#ended", { state: "visible" });
			check(await page.isHidden("#lost"), "no connection lost");
			await page.tap("#call-again");
			await screen.expect("Welcome to the Drelmoor board.");
			await page.waitForSelector("#ended", { state: "hidden" });
		}, { device: kPhone });
	},

	// The door's CP437 letters as the same letters on the page, and a
	// letter typed on the page as the one key the door knows for it.
	async Cp437LettersShowAndTypeAsOneKey() {
		await withBoard(async (page, board) => {
			const screen = await openBoard(page, board);
			await register(screen, "Ash");
			await screen.type("e");
			await screen.expect("What name would you like? [Ash] : ");
			// The door echoes each key: "é" as two keys would show as two
			// CP437 signs, and the name would not be refused whole.
			await screen.line("Café");
			await screen.expect("Café");
			await screen.expect("can't pronounce");
			await screen.expect("What name would you like? [Ash] : ");
			await page.keyboard.press("Enter");
			await screen.expect("is this correct");
			await screen.type("y");
			await screen.expect("<Ash : Town> ");
			await findMonster(screen);
			// Anywhere on the screen: the monster's line came before the
			// question the search waited for.
			await new Screen(page).expect("viscious looking Grümpy Rät");
			await screenshot(page, "web-desktop.png");
			await fightToTheEnd(screen);
		}, { cp437Monster: true });
	},

	// The switch for a screen reader, remembered; the game's last lines in
	// the page's accessibility tree as text; every key with a name.
	async ScreenReaderHearsTheGameAndEveryKeyHasAName() {
		await withBoard(async (page, board) => {
			await page.goto("http://127.0.0.1:" + board.port + "/");
			const screen = new Screen(page);
			await screen.expect("Name: ");
			await page.check("#screen-reader");
			await page.reload();
			await new Screen(page).expect("Name: ");
			check(await page.isChecked("#screen-reader"),
				"the switch is remembered");
			check(await page.evaluate(() =>
				terminal.options.screenReaderMode), "xterm.js reads aloud");

			// xterm.js fills its tree for the reader a moment after it
			// draws the screen.
			await page.waitForFunction(() => document.querySelector(
				".xterm-accessibility-tree")?.textContent.includes("Name:"));
			const session = await page.context().newCDPSession(page);
			const tree = await session.send("Accessibility.getFullAXTree");
			const names = tree.nodes.filter((node) => !node.ignored)
				.map((node) => ({ role: node.role?.value,
					name: node.name?.value ?? "" }));
			const text = names.map((node) => node.name).join("\n");
			check(text.includes("Give your board name to log in"),
				"the game's lines are text:\n" + text);
			const buttons = names.filter((node) => node.role === "button");
			for (const label of ["Enter", "Backspace", "Escape",
				"Left arrow", "Up arrow", "Down arrow", "Right arrow"])
				check(buttons.some((node) => node.name === label),
					"a key named " + label + ": " + JSON.stringify(buttons));
			check(buttons.every((node) => node.name.length > 0),
				"every key has a name");
		}, { device: kPhone });
	},

	// The board's own page: the Wall of Fame without JavaScript, read
	// from the characters as they are, and what a phone needs to keep the
	// board on its home screen.
	async FameManifestAndIconAreServed() {
		const board = await startBoard();
		try {
			const port = board.port;
			const empty = await get(port, "/fame");
			check(empty.status === 200 && empty.body.includes(
				"Nobody has braved the caves yet."), "an empty wall");
			const manifest = await get(port, "/manifest.webmanifest");
			check(manifest.status === 200, "the manifest is served");
			const parsed = JSON.parse(manifest.body);
			check(parsed.start_url === "/" && parsed.icons.length > 0,
				"the manifest names the board and an icon");
			const icon = await get(port, parsed.icons[0].src);
			check(icon.status === 200 && icon.body.includes("<svg"),
				"the icon is served");
			const terminalPage = await get(port, "/");
			check(terminalPage.body.includes("href=\"/fame\""),
				"the terminal links the wall");
		} finally {
			await stopBoard(board);
		}
	},

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
			// The board ended the call: no "connection lost" for it.
			await page.waitForSelector("#ended", { state: "visible" });
			check(await page.isHidden("#lost"), "no connection lost");

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
			await page.waitForSelector("#ended", { state: "visible" });

			await page.click("#call-again");
			await page.waitForSelector("#ended", { state: "hidden" });
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
			await page.waitForSelector("#ended", { state: "visible" });
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
