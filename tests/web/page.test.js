// The page in headless Chromium, driven through its accessible controls: the
// virtual board inside the page, and korvane-boardsim's pseudo-terminal
// reached through the serial stand-in and the WebSocket relay.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const h = require('./harness.js');
const {startRelay} = require('./relay.js');

let relay;
let browser;
const dir = h.tempDir();
test.before(async () => {
  relay = await startRelay();
  browser = await h.launchBrowser();
});
test.after(async () => {
  await browser.close();
  await relay.close();
  fs.rmSync(dir, {recursive: true, force: true});
});

// A page with the boards' ports granted before.
async function pageWithBoards(boards) {
  const page = await h.openPage(browser.context, {granted: boards.map((b) => relay.url(b.device))});
  return page;
}

// Body(page, board) on a page whose granted port leads to a korvane-boardsim
// started with Args, once the page shows its chip.
async function onBoard(args, chip, body) {
  const board = await h.startBoard(args);
  const page = await pageWithBoards([board]);
  try {
    await chipShown(page, chip);
    await body(page, board);
  } finally {
    if (!page.isClosed()) await page.close();
    await board.stop();
  }
}

async function chipShown(page, name) {
  await assertSoon(async () => (await page.getByLabel('Target chip').textContent()) === name,
                   'chip ' + name);
}

async function assertSoon(check, what, ms = 15000) {
  const until = Date.now() + ms;
  while (!(await check())) {
    if (Date.now() > until) assert.fail('not seen in time: ' + what);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
}

async function sendFile(page, file) {
  const chooser = page.waitForEvent('filechooser');
  await page.getByRole('button', {name: 'Send'}).click();
  await (await chooser).setFiles(file);
}

async function statusIs(page, text, ms) {
  await assertSoon(async () => (await page.getByRole('status').textContent()) === text,
                   'status ' + text, ms);
}

// The bytes a downloaded HEX file holds, by address.
function hexBytes(text) {
  const bytes = [];
  for (const line of text.split(/\r?\n/)) {
    if (!line.startsWith(':') || line.slice(7, 9) !== '00') continue;
    const count = parseInt(line.slice(1, 3), 16);
    const at = parseInt(line.slice(3, 7), 16);
    for (let i = 0; i < count; i++) bytes[at + i] = parseInt(line.slice(9 + 2 * i, 11 + 2 * i), 16);
  }
  return bytes;
}

async function readDownload(page) {
  const download = page.waitForEvent('download');
  await page.getByRole('button', {name: 'Read'}).click();
  const file = await download;
  const saved = path.join(dir, file.suggestedFilename());
  await file.saveAs(saved);
  return {name: file.suggestedFilename(), bytes: hexBytes(fs.readFileSync(saved, 'utf8'))};
}

function expectImage(bytes, written, size) {
  assert.equal(bytes.length, size);
  const expected = written.concat(Array(size - written.length).fill(0xff));
  assert.deepEqual(bytes, expected);
}

test('the virtual board programs and reads inside the page', async () => {
  const page = await h.openPage(browser.context);
  await page.getByRole('button', {name: 'Try it without hardware'}).click();
  await chipShown(page, '89C52');
  const written = h.patternBytes(1000);
  await sendFile(page, h.writeHex(dir, 'virtual.hex', written));
  await statusIs(page, 'Complete!');
  const read = await readDownload(page);
  assert.equal(read.name, '89C52.hex');
  expectImage(read.bytes, written, 8192);
  // A file dropped on the page is programmed as a chosen one is.
  await page.evaluate(() => KorvanePage.setText('status', ''));
  const dropped = await page.evaluateHandle((text) => {
    const transfer = new DataTransfer();
    transfer.items.add(new File([text], 'dropped.hex'));
    return transfer;
  }, fs.readFileSync(h.writeHex(dir, 'dropped.hex', h.patternBytes(16)), 'utf8'));
  await page.dispatchEvent('body', 'drop', {dataTransfer: dropped});
  await statusIs(page, 'Complete!');
  await page.close();
});

test('a board on a granted port: chip after load, Send programs, Read downloads the chip',
    () => onBoard([], '89C52', async (page, board) => {
  assert.match(await page.getByLabel('Target chip').getAttribute('title'), /^Found on /);
  const written = h.patternBytes(600);
  const file = h.writeHex(dir, 'program.hex', written);
  await sendFile(page, file);
  await statusIs(page, 'Complete!');
  const read = await readDownload(page);
  assert.equal(read.name, '89C52.hex');
  expectImage(read.bytes, written, 8192);
  await page.close();
  assert.ok(h.cliVerifies(board.device, file), 'the board holds the file');
}));

test('the port the user chooses is found', async () => {
  const board = await h.startBoard();
  const page = await h.openPage(browser.context);
  await page.evaluate((url) => window.__serialStandIn.offer(url), relay.url(board.device));
  await page.getByRole('button', {name: 'Choose port…'}).click();
  await chipShown(page, '89C52');
  await page.close();
  await board.stop();
});

test('the 89C2051 shows its code-memory choice and reads the size chosen',
    () => onBoard(['--chip', '89C2051', '--size', '4096'], '89C2051/4051', async (page) => {
  const choice = page.getByRole('group', {name: 'Code Memory'});
  await assertSoon(() => choice.isVisible(), 'the code-memory choice');
  assert.equal(await page.getByRole('checkbox', {name: 'Fast Verify'}).isDisabled(), true);
  assert.equal((await readDownload(page)).bytes.length, 2048);
  await page.getByRole('radio', {name: '4KB'}).check();
  const read = await readDownload(page);
  assert.equal(read.name, '89C2051-4051.hex');
  assert.equal(read.bytes.length, 4096);
}));

test('a malformed file is refused with the window\'s text and the chip is untouched',
    () => onBoard([], '89C52', async (page, board) => {
  const file = path.join(dir, 'bad.hex');
  const lines = fs.readFileSync(h.writeHex(dir, 'good.hex', h.patternBytes(64)), 'utf8')
    .split('\r\n');
  lines[2] = lines[2].slice(0, -2) + '00';
  fs.writeFileSync(file, lines.join('\r\n'));
  await sendFile(page, file);
  const box = page.getByRole('alertdialog', {name: 'Korvane'});
  await box.waitFor();
  assert.equal(await box.locator('#box-text').textContent(), 'Checksum error at line:3.');
  await box.getByRole('button', {name: 'OK'}).click();
  await page.close();
  assert.ok(h.cliVerifies(board.device, h.writeHex(dir, 'blank.hex', [0xff])),
            'the chip is still blank');
}));

test('a board lost mid-write gives one box, and the board is found again', async () => {
  const lost = await h.startBoard(['--hangup-at', '100']);
  const page = await pageWithBoards([lost]);
  await chipShown(page, '89C52');
  let boxes = 0;
  await page.exposeFunction('__boxShown', () => { boxes += 1; });
  await page.evaluate(() => {
    const box = document.getElementById('box');
    new MutationObserver(() => { if (box.open) window.__boxShown(); })
      .observe(box, {attributes: true, attributeFilter: ['open']});
  });
  await sendFile(page, h.writeHex(dir, 'lost.hex', h.patternBytes(600)));
  const box = page.getByRole('alertdialog', {name: 'Korvane'});
  await box.waitFor();
  assert.match(await box.locator('#box-text').textContent(),
               /The chip is partly written \(.* of 600 bytes\)\. Reconnect the board and press Send again\.$/);
  await lost.stop();
  // The adapter plugged in again is a new port to the browser.
  const again = await h.startBoard();
  await page.evaluate((url) => {
    window.__serialStandIn.unplugAll();
    window.__serialStandIn.grant(url);
  }, relay.url(again.device));
  await box.getByRole('button', {name: 'OK'}).click();
  await chipShown(page, '89C52');
  assert.equal(boxes, 1);
  await page.close();
  await again.stop();
});

test('input is held while an operation runs', () => onBoard(['--realtime'], '89C52', async (page) => {
  const lock = page.getByRole('checkbox', {name: 'Lock'});
  const read = page.getByRole('button', {name: 'Read'});
  await sendFile(page, h.writeHex(dir, 'slow.hex', h.patternBytes(100)));
  await assertSoon(async () => (await page.getByRole('status').textContent()).startsWith('Writing'),
                   'writing');
  assert.equal(await read.isDisabled(), true);
  assert.equal(await lock.isDisabled(), true);
  await lock.click({force: true});
  await read.click({force: true});
  await statusIs(page, 'Complete!', 30000);
  assert.equal(await lock.isChecked(), false);
  assert.equal(await read.isDisabled(), false);
  assert.equal(await page.getByRole('dialog').count(), 0);
}));

test('replies held back by an adapter\'s latency timer are noted once, with the fix',
    () => onBoard(['--realtime', '--usb-latency', '16'], '89C52', async (page) => {
  await sendFile(page, h.writeHex(dir, 'latency.hex', h.patternBytes(40)));
  await statusIs(page, 'Complete!', 30000);
  const note = page.getByRole('note');
  assert.match(await note.textContent(), /\(its latency timer\)\. Set the timer to 1 ms/);
}));

test('a browser without Web Serial gets the message and nothing else', async () => {
  const page = await h.openPage(browser.context, {withSerial: false});
  const message = page.getByText(/Web Serial/);
  await message.waitFor();
  assert.match(await message.textContent(), /Chrome, Edge or Opera/);
  assert.equal(await page.getByRole('button').count(), 0);
  await page.close();
});
