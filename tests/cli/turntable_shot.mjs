// Opens a product page as a browser without WebGL would show it (its
// turntable pictures), takes its picture, drags across it by DX pixels with
// the mouse and takes another.
//   node turntable_shot.mjs PAGE.html BEFORE.png AFTER.png WIDTH HEIGHT DX
import puppeteer from 'puppeteer-core';

const [page, before, after, width, height, dx] = process.argv.slice(2);
const browser = await puppeteer.launch({executablePath: '/usr/bin/chromium', headless: true, args: ['--no-sandbox']});
try {
  const tab = await browser.newPage();
  await tab.setViewport({width: Number(width), height: Number(height)});
  await tab.goto('file://' + page + '#turntable');
  const pictures = await tab.evaluate(() => document.querySelectorAll('#turntable img').length);
  await tab.screenshot({path: before});
  const y = Number(height) / 2;
  await tab.mouse.move(Number(width) / 2, y);
  await tab.mouse.down();
  await tab.mouse.move(Number(width) / 2 - Number(dx), y, {steps: 8});
  await tab.mouse.up();
  await tab.screenshot({path: after});
  console.log('TURN ' + JSON.stringify({pictures, viewer: await tab.evaluate(() => !!document.querySelector('model-viewer'))}));
} finally {
  await browser.close();
}
