// Opens a product page in headless Chromium (WebGL through SwiftShader),
// waits for its viewer to say the model has loaded, not for the page's load
// event, and takes its picture two frames later. Prints what happened.
//   node page_shot.mjs PAGE.html OUT.png WIDTH HEIGHT
import puppeteer from 'puppeteer-core';

const [page, out, width, height] = process.argv.slice(2);
const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', `--window-size=${width},${height}`],
});
try {
  const tab = await browser.newPage();
  await tab.setViewport({width: Number(width), height: Number(height)});
  const started = Date.now();
  // Without its poster: the picture is the viewer's own drawing.
  await tab.goto('file://' + page + '#no-poster');
  const state = await tab.evaluate(() => new Promise((resolve) => {
    const viewer = document.querySelector('model-viewer');
    viewer.addEventListener('load', () => resolve('loaded'));
    viewer.addEventListener('error', (e) => resolve('error ' + (e.detail && e.detail.type)));
    if (viewer.loaded) resolve('loaded');
    setTimeout(() => resolve('timeout'), 90000);
  }));
  await tab.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));
  await tab.screenshot({path: out});
  console.log('PAGE ' + JSON.stringify({state, seconds: (Date.now() - started) / 1000}));
} finally {
  await browser.close();
}
