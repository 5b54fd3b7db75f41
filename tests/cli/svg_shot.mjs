// Draws an SVG file in headless Chromium, a reader apart from ours, and
// saves the picture: SCALE device pixels to each of the page's pixels.
//   node svg_shot.mjs FILE.svg OUT.png WIDTH HEIGHT SCALE
import puppeteer from 'puppeteer-core';

const [file, out, width, height, scale] = process.argv.slice(2);
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox']});
try {
  const tab = await browser.newPage();
  await tab.setViewport({width: Number(width), height: Number(height), deviceScaleFactor: Number(scale)});
  await tab.goto('file://' + file);
  await tab.screenshot({path: out});
  console.log('SVG ' + JSON.stringify({file, out}));
} finally {
  await browser.close();
}
