// The README's screenshot of the page: a picture fitted to 131 x 64 as a
// 4-frame page-flipping GROB with Floyd-Steinberg dithering, at zoom 3.
//   node web/screenshot.mjs PICTURE OUTPUT.png   (tools/web-screenshot)
import { serve, launch, openPage, openFile, settled } from './tests/browser.mjs';

const [picture, output] = process.argv.slice(2);
const server = await serve();
const browser = await launch();
try {
    const { page } = await openPage(browser, server.url, [], { width: 1200, height: 860 });
    await openFile(page, picture);
    await page.selectOption('#kind', 'g16');
    await page.selectOption('#fit', '131x64');
    await page.selectOption('#dither', 'floyd-steinberg');
    await page.fill('#zoom', '3');
    await settled(page);
    await page.evaluate(() => {
        document.activeElement.blur();
        window.scrollTo(0, 0);
    });
    await page.screenshot({ path: output });
} finally {
    await browser.close();
    await server.close();
}
