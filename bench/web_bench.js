// The page's benchmark (node bench/web_bench.js, after scripts/test-web.sh):
//  1. the host's cost per written byte: programming a full 89C52 (8192
//     bytes, read-back verify) on the page's own virtual board (no
//     WebSocket, no pacing) against korvane-cli on korvane-boardsim without
//     pacing, in the same run;
//  2. the 4 KB program's wall time against its wire time through the serial
//     stand-in and the WebSocket relay, the board paced at 9600 baud.
// Prints a Markdown table for bench/RESULTS.md.
'use strict';
const {execFileSync} = require('node:child_process');
const path = require('node:path');
const h = require('../tests/web/harness.js');
const {startRelay} = require('../tests/web/relay.js');

const RUNS = Number(process.env.KORVANE_BENCH_RUNS || 3);
// The read-back waits 500 ms for the board to settle: not the host's cost.
const SETTLE_S = 0.5;
const SECONDS_PER_BYTE = 10 / 9600;
const ERASE_S = 0.2;

// The bytes a programming run of Count bytes puts on the wire (erase,
// counter, write, read-back), as docs/PROTOCOL.md gives them.
function programWireSeconds(count) {
  const counter = 2 + 2 * String(count).length + 1 + 5;
  const bytes = 20 + counter + 9 + 3 * count + 5 + 2 * count;
  return bytes * SECONDS_PER_BYTE + SETTLE_S + ERASE_S;
}

function median(values) {
  const sorted = values.slice().sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// Seconds from the file's choice to "Complete!".
async function pageProgram(page, file) {
  const chooser = page.waitForEvent('filechooser');
  await page.getByRole('button', {name: 'Send'}).click();
  const started = Date.now();
  await (await chooser).setFiles(file);
  await page.waitForFunction(() => {
    const status = document.querySelector('[role=status]').textContent;
    return status === 'Complete!' || document.getElementById('box').open;
  }, null, {timeout: 120000, polling: 5});
  const seconds = (Date.now() - started) / 1000;
  if (await page.locator('#box').evaluate((box) => box.open)) throw new Error('the page failed');
  await page.evaluate(() => KorvanePage.setText('status', ''));
  return seconds;
}

async function main() {
  const dir = h.tempDir();
  const full = h.writeHex(dir, 'full.hex', h.patternBytes(8192));
  const fourK = h.writeHex(dir, 'four.hex', h.patternBytes(4096));
  const browser = await h.launchBrowser();
  const rows = [];

  const page = await h.openPage(browser.context);
  await page.getByRole('button', {name: 'Try it without hardware'}).click();
  await page.waitForFunction(() => document.getElementById('chip').textContent === '89C52');
  const pageRuns = [];
  for (let run = 0; run < RUNS; run++) pageRuns.push(await pageProgram(page, full));
  await page.close();

  const cliRuns = [];
  for (let run = 0; run < RUNS; run++) {
    const board = await h.startBoard();
    const started = process.hrtime.bigint();
    execFileSync(path.join(h.build, 'cli/korvane-cli'), ['program', full, '--port', board.device, '-q'],
                 {env: {...process.env, KORVANE_PORTS: board.device}});
    cliRuns.push(Number(process.hrtime.bigint() - started) / 1e9);
    await board.stop();
  }
  const perByte = (seconds) => ((seconds - SETTLE_S) / 8192 * 1e6).toFixed(1);
  rows.push(['page, virtual board in the page', 8192, median(pageRuns).toFixed(3), '', '',
             perByte(median(pageRuns))]);
  rows.push(['korvane-cli, korvane-boardsim on a pty', 8192, median(cliRuns).toFixed(3), '', '',
             perByte(median(cliRuns))]);

  const relay = await startRelay();
  const board = await h.startBoard(['--realtime']);
  const paced = await h.openPage(browser.context, {granted: [relay.url(board.device)]});
  await paced.waitForFunction(() => document.getElementById('chip').textContent === '89C52',
                              null, {timeout: 15000});
  await paced.evaluate(() => { window.__serialStandIn.turnarounds.length = 0; });
  const wall = await pageProgram(paced, fourK);
  const turnarounds = await paced.evaluate(() => window.__serialStandIn.turnarounds);
  const wire = programWireSeconds(4096);
  rows.push(['page, stand-in and relay, board at 9600 baud', 4096, wall.toFixed(2),
             wire.toFixed(2), (wall / wire).toFixed(3), '']);
  await paced.close();
  await board.stop();

  const cliBoard = await h.startBoard(['--realtime']);
  const cliStarted = process.hrtime.bigint();
  execFileSync(path.join(h.build, 'cli/korvane-cli'), ['program', fourK, '--port', cliBoard.device,
                                                       '-q'],
               {env: {...process.env, KORVANE_PORTS: cliBoard.device}});
  const cliWall = Number(process.hrtime.bigint() - cliStarted) / 1e9;
  rows.push(['korvane-cli on a pty, board at 9600 baud (the whole process)', 4096,
             cliWall.toFixed(2), wire.toFixed(2), (cliWall / wire).toFixed(3), '']);
  await cliBoard.stop();
  await relay.close();
  await browser.close();

  const ms = turnarounds.slice().sort((a, b) => a - b);
  const at = (q) => ms[Math.min(ms.length - 1, Math.floor(q * ms.length))].toFixed(3);
  console.log(`The page's own turnaround through the stand-in (a reply's arrival at the port to ` +
              `the page's next write), ${ms.length} writes: median ${at(0.5)} ms, ` +
              `90th percentile ${at(0.9)} ms, 99th ${at(0.99)} ms; the wall beyond the wire: ` +
              `${((wall - programWireSeconds(4096)) / 4096 * 1000).toFixed(2)} ms a written byte.`);
  console.log('| run (program, read-back verify) | bytes | wall s (median of ' + RUNS +
              ' unpaced) | wire s | wall/wire | host µs per written byte |');
  console.log('|---|---:|---:|---:|---:|---:|');
  for (const row of rows) console.log('| ' + row.join(' | ') + ' |');
}

main().catch((error) => {
  console.error(error);
  process.exit(1);
});
