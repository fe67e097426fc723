// Plays a published story in Debian's headless chromium through the DevTools
// protocol (puppeteer-core), served from a local web server of its own:
//   node web_driver.js SITE TOKENS SHOTS OUT   the replay tool's keys (TOKENS),
//       the canvas after each of the frames SHOTS ("0 3 9") as OUT/N.rgba
//       (640 x 480 x R G B A), the save the page kept as OUT/save.txt
//   ... REAL="N M" (a fifth argument): then as a reader plays, Enter tapped
//       (5 ms), then held (150 ms): the canvas after each, as OUT/real-N.rgba
//       and OUT/real-M.rgba
//   node web_driver.js SITE --first-page       ms from the page's start to its
//       first page shown, as a reader opens it (for bench/, never a test)
// Needs KS_NODE_MODULES (where scripts/web installed puppeteer-core).
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');
const puppeteer = require(path.resolve(process.env.KS_NODE_MODULES || '.', 'puppeteer-core'));

const [site, tokens, shots, out, real] = process.argv.slice(2);
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };
const server = http.createServer((request, response) => {
  const file = path.join(site, decodeURIComponent(new URL(request.url, 'http://x').pathname));
  fs.readFile(file, (error, data) => {
    if (error) return response.writeHead(404).end();
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' }).end(data);
  });
});

async function main() {
  await new Promise(ok => server.listen(0, '127.0.0.1', ok));
  const browser = await puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: 'new',
                                           args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'] });
  try {
    const page = await browser.newPage();
    page.on('console', m => console.log('page:', m.text()));
    page.on('pageerror', e => console.log('page error:', e.message));
    const base = `http://127.0.0.1:${server.address().port}/index.html`;
    if (tokens === '--first-page') {
      // The second visit of a browser already running, nothing cached.
      await page.setCacheEnabled(false);
      for (const visit of [1, 2]) {
        await page.goto(base + '?visit=' + visit);
        await page.waitForFunction('window.ksFirstPage', { timeout: 20000 });
      }
      console.log('first page after', (await page.evaluate('window.ksFirstPage')).toFixed(0), 'ms');
      return;
    }
    const canvas = of => of.evaluate(() => {
      const data = document.getElementById('screen').getContext('2d').getImageData(0, 0, 640, 480).data;
      return Array.from(data, b => String.fromCharCode(b)).join('');
    });
    if (real && real.trim()) {
      const reader = await browser.newPage();
      await reader.goto(base);
      await reader.waitForFunction('window.ksFirstPage', { timeout: 30000 });
      const [tapped, held] = real.split(/[ ,]/);
      for (const [name, ms] of [[tapped, 5], [held, 150]]) {
        await reader.keyboard.down('Enter');
        await new Promise(ok => setTimeout(ok, ms));
        await reader.keyboard.up('Enter');
        await new Promise(ok => setTimeout(ok, 500));
        fs.mkdirSync(out, { recursive: true });
        fs.writeFileSync(path.join(out, 'real-' + name + '.rgba'), Buffer.from(await canvas(reader), 'latin1'));
      }
      await reader.close();
    }
    await page.goto(base + '?replay=' + encodeURIComponent(tokens));
    await page.waitForFunction('window.ksReady', { timeout: 30000 });
    if (await page.evaluate('window.ksError')) throw new Error(await page.evaluate('window.ksError'));
    fs.mkdirSync(out, { recursive: true });
    for (const frame of shots.split(/[ ,]/).filter(Boolean).map(Number)) {
      await page.evaluate(n => window.ksReplay.runTo(n), frame);
      const rgba = await canvas(page);
      fs.writeFileSync(path.join(out, frame + '.rgba'), Buffer.from(rgba, 'latin1'));
    }
    const save = await page.evaluate(() => {
      for (const [name, data] of ksReplay.kept) {
        if (name.toLowerCase() === '/story/data/save.txt') return Array.from(data, b => String.fromCharCode(b)).join('');
      }
      return null;
    });
    if (save !== null) fs.writeFileSync(path.join(out, 'save.txt'), Buffer.from(save, 'latin1'));
  } finally {
    await browser.close();
    server.close();
  }
}
main().catch(e => { console.error('web_driver:', e.message); process.exit(1); });
