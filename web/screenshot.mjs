// The README's screenshots of the page: a picture fitted to 131 x 64 as a
// 4-frame page-flipping GROB with Floyd-Steinberg dithering, at 1280 pixels
// wide (zoom 3) and on a phone 375 pixels wide (zoom 2), scrolled to the
// settings with the calculator's view kept above them.
//   node web/screenshot.mjs PICTURE WIDE.png PHONE.png   (tools/web-screenshot)
import { serve, launch, openPage, openFile, settled } from './tests/browser.mjs';

const [picture, wide, phone] = process.argv.slice(2);
const server = await serve();
const browser = await launch();
try {
    for (const [output, viewport, zoom] of [
        [wide, { width: 1280, height: 1000 }, '3'],
        [phone, { width: 375, height: 740 }, '2'],
    ]) {
        const { page } = await openPage(browser, server.url, [], viewport, { deviceScaleFactor: 1 });
        await openFile(page, picture);
        await page.selectOption('#kind', 'g16');
        await page.selectOption('#fit', '131x64');
        await page.click('text=Use Floyd-Steinberg dithering');
        await page.fill('#zoom', zoom);
        await settled(page);
        await page.evaluate((narrow) => {
            document.activeElement.blur();
            if (narrow) document.getElementById('row-brightness').scrollIntoView({ block: 'center' });
            else window.scrollTo(0, 0);
        }, viewport.width < 500);
        await page.waitForTimeout(300);
        await page.screenshot({ path: output });
    }
} finally {
    await browser.close();
    await server.close();
}
