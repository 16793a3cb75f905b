// What the page's tests share: headless Chromium (Debian's, by its path) on
// the built site, the serial stand-in, virtual boards on pseudo-terminals
// and the command line's verify as the independent look at a board's flash.
'use strict';
const {spawn, execFileSync} = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const {chromium} = require('playwright-core');

const root = path.resolve(__dirname, '../..');
const build = path.resolve(root, process.env.KORVANE_BUILD_DIR || 'build');
const site = path.resolve(root, process.env.KORVANE_WEB_SITE || 'build-web/site');
const pageUrl = 'file://' + path.join(site, 'index.html');
const standIn = fs.readFileSync(path.join(__dirname, 'standin.js'), 'utf8');

function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'korvane-web-'));
}

async function launchBrowser() {
  const profile = tempDir();
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: process.env.KORVANE_CHROMIUM || '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const close = async () => {
    await context.close();
    fs.rmSync(profile, {recursive: true, force: true});
  };
  return {context, close};
}

// The page with the stand-in for Web Serial (withSerial) or with none at all.
async function openPage(context, {withSerial = true, granted = []} = {}) {
  const page = await context.newPage();
  if (withSerial) {
    await page.addInitScript(standIn);
    await page.addInitScript((urls) => {
      for (const url of urls) window.__serialStandIn.grant(url);
    }, granted);
  } else {
    // As in a browser that has no Web Serial at all.
    await page.addInitScript(() => { delete Navigator.prototype.serial; });
  }
  await page.goto(pageUrl);
  return page;
}

// korvane-boardsim with Args; its device path once it serves.
async function startBoard(args = []) {
  const board = spawn(path.join(build, 'sim/korvane-boardsim'), args,
                      {stdio: ['ignore', 'pipe', 'pipe']});
  const line = await new Promise((resolve, reject) => {
    readline.createInterface({input: board.stdout}).once('line', resolve);
    board.once('exit', (code) => reject(new Error('korvane-boardsim ended: ' + code)));
  });
  return {
    device: line.trim(),
    stop: () => new Promise((resolve) => {
      if (board.exitCode !== null) return resolve();
      board.once('exit', resolve);
      board.kill('SIGTERM');
    }),
  };
}

// Whether the chip on Device holds File, as the command line finds it.
function cliVerifies(device, file, extra = []) {
  try {
    execFileSync(path.join(build, 'cli/korvane-cli'), ['verify', file, '--port', device, ...extra],
                 {env: {...process.env, KORVANE_PORTS: device}, stdio: 'pipe'});
    return true;
  } catch (e) {
    return false;
  }
}

// An Intel HEX file of Bytes at address 0, 16 a record.
function hexText(bytes) {
  let text = '';
  for (let at = 0; at < bytes.length; at += 16) {
    const chunk = bytes.slice(at, at + 16);
    const record = [chunk.length, at >> 8, at & 0xff, 0, ...chunk];
    const sum = (0x100 - (record.reduce((a, b) => a + b, 0) & 0xff)) & 0xff;
    text += ':' + [...record, sum].map((b) => b.toString(16).padStart(2, '0').toUpperCase())
      .join('') + '\r\n';
  }
  return text + ':00000001FF\r\n';
}

function writeHex(dir, name, bytes) {
  const file = path.join(dir, name);
  fs.writeFileSync(file, hexText(bytes));
  return file;
}

function patternBytes(count) {
  return Array.from({length: count}, (_, i) => (i * 7 + 3) & 0xff);
}

module.exports = {launchBrowser, openPage, startBoard, cliVerifies, writeHex, patternBytes,
                  tempDir, build, site};
