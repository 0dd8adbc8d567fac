// The page: the controls made from the options table (options.js, written
// at build time from the program's own table), the picture handed to the
// worker, and what comes back shown and saved. Nothing is sent anywhere.
import table from './options.js';

const $ = (id) => document.getElementById(id);
const option = (name) => table.options.find((o) => o.name === name);
const kStorage = 'veldar-convert-web';

// ---- The settings: names and values as the options table gives them.

const defaults = {
    kind: option('kind').choices[option('kind').default].name,
    series: option('series').choices[option('series').default].name,
    fit: table.fitPresets[0].name,
    width: table.screens[0].width,
    height: table.screens[0].height,
    upscale: false,
    brightness: option('brightness').default,
    contrast: option('contrast').default,
    gamma: option('gamma').default,
    invert: false,
    dither: option('dither').choices[option('dither').default].name,
    zoom: option('zoom').default,
    'clear-padding': false,
};

function inRange(entry, value) {
    return (
        typeof value === 'number' &&
        Number.isFinite(value) &&
        value >= entry.minimum &&
        value <= entry.maximum &&
        (entry.type !== 'whole' && entry.type !== 'size' ? true : Number.isInteger(value))
    );
}

// The settings kept from the last visit, each checked against the table.
function kept() {
    let saved = {};
    try {
        saved = JSON.parse(localStorage.getItem(kStorage)) || {};
    } catch {
        saved = {};
    }
    const state = { ...defaults };
    const choice = (name, key) => {
        if (option(name).choices.some((c) => c.name === saved[key])) state[key] = saved[key];
    };
    choice('kind', 'kind');
    choice('series', 'series');
    choice('dither', 'dither');
    if (table.fitPresets.some((p) => p.name === saved.fit)) state.fit = saved.fit;
    for (const key of ['width', 'height'])
        if (inRange(option('fit'), saved[key])) state[key] = saved[key];
    for (const key of ['brightness', 'contrast', 'gamma', 'zoom'])
        if (inRange(option(key), saved[key])) state[key] = saved[key];
    for (const key of ['upscale', 'invert', 'clear-padding'])
        if (typeof saved[key] === 'boolean') state[key] = saved[key];
    return state;
}

let state = kept();

function keep() {
    try {
        localStorage.setItem(kStorage, JSON.stringify(state));
    } catch {
        // Private browsing or storage turned off: the settings last this visit.
    }
}

// ---- The controls.

const form = $('settings');
const controls = {}; // key -> { show(value) }
let uid = 0;

function field(key, labelText, help) {
    const row = document.createElement('div');
    row.className = 'row';
    row.id = `row-${key}`;
    const label = document.createElement('label');
    label.textContent = labelText;
    label.htmlFor = key;
    label.id = `label-${key}`;
    const error = document.createElement('p');
    error.className = 'error';
    error.id = `${key}-error`;
    error.setAttribute('aria-live', 'polite');
    row.append(label);
    row.dataset.help = help || '';
    return { row, label, error };
}

function describe(element, key, help) {
    element.setAttribute('aria-describedby', `${key}-error`);
    if (help) element.title = help;
}

function selectField(key, labelText, help, items) {
    const { row, error } = field(key, labelText, help);
    const select = document.createElement('select');
    select.id = key;
    for (const [value, text] of items) select.add(new Option(text, value));
    describe(select, key, help);
    select.addEventListener('change', () => changed({ [key]: select.value }));
    row.append(select, error);
    form.append(row);
    controls[key] = { show: (value) => (select.value = value) };
}

function checkField(key, entry) {
    const { row, label, error } = field(key, '', entry.help);
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.id = key;
    describe(box, key, entry.help);
    label.textContent = entry.label;
    label.className = 'check';
    label.prepend(box);
    row.classList.add('flag');
    box.addEventListener('change', () => changed({ [key]: box.checked }));
    row.append(error);
    form.append(row);
    controls[key] = { show: (value) => (box.checked = value) };
}

function decimals(entry) {
    return [entry.minimum, entry.maximum, entry.default].every(Number.isInteger) ? 0 : 2;
}

// What a control takes, as the command line says it for its option.
function takes(labelText, entry) {
    const kind = entry.type === 'number' ? 'a number' : 'a whole number';
    return `${labelText} takes ${kind} from ${entry.minimum} to ${entry.maximum}`;
}

// A number: a slider and a box that follow each other. A range that spans
// many times over (gamma) slides on a logarithmic scale.
function numberField(key, entry, labelText = entry.label) {
    const { row, error } = field(key, labelText, entry.help);
    const places = decimals(entry);
    const logarithmic = entry.minimum > 0 && entry.maximum / entry.minimum >= 100;
    const steps = 1000;
    const slider = document.createElement('input');
    slider.type = 'range';
    slider.id = `${key}-slider`;
    slider.setAttribute('aria-labelledby', `label-${key}`);
    if (logarithmic) {
        Object.assign(slider, { min: 0, max: steps, step: 1 });
    } else {
        Object.assign(slider, { min: entry.minimum, max: entry.maximum, step: places ? 0.01 : 1 });
    }
    const box = document.createElement('input');
    box.type = 'number';
    box.id = key;
    box.inputMode = places ? 'decimal' : 'numeric';
    Object.assign(box, { min: entry.minimum, max: entry.maximum, step: places ? 0.01 : 1 });
    describe(box, key, entry.help);
    describe(slider, key, entry.help);
    const ratio = Math.log(entry.maximum / entry.minimum);
    const toSlider = (value) =>
        logarithmic ? Math.round((steps * Math.log(value / entry.minimum)) / ratio) : value;
    const fromSlider = (position) => {
        if (!logarithmic) return Number(position);
        const value = entry.minimum * Math.exp((ratio * Number(position)) / steps);
        return Math.min(entry.maximum, Math.max(entry.minimum, Number(value.toFixed(places))));
    };
    slider.addEventListener('input', () => {
        const value = fromSlider(slider.value);
        box.value = String(value);
        error.textContent = '';
        box.removeAttribute('aria-invalid');
        changed({ [key]: value });
    });
    box.addEventListener('input', () => {
        const value = box.value.trim() === '' ? NaN : Number(box.value);
        if (!inRange(entry, value) || (places === 0 && !Number.isInteger(value))) {
            error.textContent = `${takes(labelText, entry)}.`;
            box.setAttribute('aria-invalid', 'true');
            return;
        }
        error.textContent = '';
        box.removeAttribute('aria-invalid');
        slider.value = String(toSlider(value));
        changed({ [key]: value });
    });
    const pair = document.createElement('div');
    pair.className = 'pair';
    pair.append(slider, box);
    row.append(pair, error);
    form.append(row);
    controls[key] = {
        show: (value) => {
            box.value = String(value);
            slider.value = String(toSlider(value));
            error.textContent = '';
            box.removeAttribute('aria-invalid');
        },
    };
}

// The fit: the presets, and a width and height for "any size".
function fitFields() {
    const entry = option('fit');
    selectField(
        'fit',
        entry.label,
        entry.help,
        table.fitPresets.map((p) => [p.name, p.label]),
    );
    const { row, error } = field('size', 'Size', entry.help);
    row.classList.add('size');
    const boxes = document.createElement('div');
    boxes.className = 'pair';
    const errors = {};
    for (const [key, text] of [
        ['width', 'Width'],
        ['height', 'Height'],
    ]) {
        const box = document.createElement('input');
        box.type = 'number';
        box.id = key;
        box.inputMode = 'numeric';
        Object.assign(box, { min: entry.minimum, max: entry.maximum, step: 1 });
        box.setAttribute('aria-label', text);
        describe(box, 'size', entry.help);
        box.addEventListener('input', () => {
            const value = Number(box.value);
            if (box.value.trim() === '' || !inRange(entry, value)) {
                errors[key] = `${takes(text, { ...entry, type: 'whole' })}.`;
                box.setAttribute('aria-invalid', 'true');
            } else {
                delete errors[key];
                box.removeAttribute('aria-invalid');
            }
            error.textContent = Object.values(errors).join(' ');
            if (!errors[key]) changed({ [key]: value });
        });
        boxes.append(box);
        if (key === 'width') boxes.append(Object.assign(document.createElement('span'), { textContent: 'x' }));
        controls[key] = {
            show: (value) => {
                box.value = String(value);
                delete errors[key];
                box.removeAttribute('aria-invalid');
                error.textContent = Object.values(errors).join(' ');
            },
        };
    }
    row.querySelector('label').htmlFor = 'width';
    row.append(boxes, error);
    form.append(row);
}

function buildControls() {
    const kind = option('kind');
    selectField(
        'kind',
        kind.label,
        kind.help,
        kind.choices.map((c) => [c.name, `${c.label} (.${c.name})`]),
    );
    const series = option('series');
    selectField(
        'series',
        'Series',
        series.help,
        series.choices.map((c) => [c.name, c.label]),
    );
    // The preparation's options in the table's order, then the view's own.
    for (const entry of table.options.filter((o) => o.preparation)) {
        if (entry.type === 'size') fitFields();
        else if (entry.type === 'flag') checkField(entry.name, entry);
        else if (entry.type === 'choice')
            selectField(
                entry.name,
                entry.label,
                entry.help,
                entry.choices.map((c) => [c.name, c.label]),
            );
        else numberField(entry.name, entry);
    }
    numberField('zoom', option('zoom'));
    // How the GROB's bytes are written, whatever the picture.
    for (const entry of table.options.filter((o) => o.encoding)) checkField(entry.name, entry);
}

function showState() {
    for (const [key, control] of Object.entries(controls)) control.show(state[key]);
    const any = table.fitPresets.find((p) => p.name === state.fit).width < 0;
    $('row-size').hidden = !any;
    $('row-upscale').hidden = state.fit === table.fitPresets[0].name;
}

// ---- The worker, and the one render in flight.

const worker = new Worker('worker.js');
let messageId = 0;
const replies = new Map();
function failed() {
    $('file-error').textContent =
        'The converter cannot start: this browser cannot load its files or run WebAssembly. Reload the page to try again.';
    document.body.dataset.ready = 'false';
}
worker.onmessage = ({ data }) => {
    if (data.type === 'ready') document.body.dataset.ready = 'true';
    if (data.type === 'failed') failed();
    const reply = replies.get(data.id);
    replies.delete(data.id);
    if (reply) reply(data);
};
worker.onerror = failed;
function ask(message, transfer = []) {
    const id = ++messageId;
    return new Promise((resolve) => {
        replies.set(id, resolve);
        worker.postMessage({ ...message, id }, transfer);
    });
}

let source = null; // { name, grob, width, height }
let generation = 0; // of the settings and picture now chosen
let inFlight = false;
let latest = null; // the answer for `generation`, once it is here
const waiting = [];

function request() {
    const preset = table.fitPresets.find((p) => p.name === state.fit);
    const any = preset.width < 0;
    return {
        kind: option('kind').choices.findIndex((c) => c.name === state.kind),
        series: Number(state.series),
        fitWidth: any ? state.width : Math.max(preset.width, 0),
        fitHeight: any ? state.height : Math.max(preset.height, 0),
        upscale: preset.width !== 0 && state.upscale,
        brightness: state.brightness,
        contrast: state.contrast,
        gamma: state.gamma,
        invert: state.invert,
        dither: option('dither').choices.findIndex((c) => c.name === state.dither),
        zoom: state.zoom,
        clearPadding: state['clear-padding'],
    };
}

function refresh() {
    ++generation;
    latest = null;
    performance.mark('veldar-change', { detail: generation });
    if (!source) return;
    $('result').setAttribute('aria-busy', 'true');
    document.body.dataset.busy = 'true';
    pump();
}

// Sends the latest settings when no render is in flight; those chosen
// meanwhile wait, and only the last of them is sent.
async function pump() {
    if (inFlight || !source || latest) return;
    inFlight = true;
    const wanted = generation;
    const answer = await ask({ type: 'render', settings: request() });
    inFlight = false;
    if (wanted === generation) show(answer);
    pump();
}

function whenCurrent() {
    if (latest) return Promise.resolve(latest);
    return new Promise((resolve) => waiting.push(resolve));
}

function withThousands(value) {
    return value.toLocaleString('en');
}

function show(answer) {
    latest = answer;
    const info = $('preview-info');
    const canvas = $('preview');
    // A picture too large for the GROB at this fit: said at the fit too.
    $('fit-error').textContent = answer.tooLarge ? `${answer.error}.` : '';
    if (answer.error) {
        info.textContent = `No preview: ${answer.error}.`;
        info.classList.add('error');
        canvas.hidden = true;
    } else {
        const { width, height, pixels } = answer.preview;
        canvas.width = width;
        canvas.height = height;
        canvas.getContext('2d').putImageData(
            new ImageData(new Uint8ClampedArray(pixels.buffer), width, height),
            0,
            0,
        );
        canvas.hidden = false;
        canvas.style.width = `${width}px`;
        const [dotsWide, dotsHigh] = answer.dots;
        info.textContent = `${dotsWide} x ${dotsHigh} dots, ${withThousands(answer.grob.length)} bytes`;
        if (answer.note) info.textContent += ` ${answer.note}`;
        info.classList.remove('error');
    }
    $('download').textContent = `Download ${grobName()}`;
    $('result').removeAttribute('aria-busy');
    document.body.dataset.busy = 'false';
    performance.mark('veldar-shown', { detail: generation });
    for (const resolve of waiting.splice(0)) resolve(answer);
}

function changed(values) {
    Object.assign(state, values);
    if ('fit' in values) showState();
    keep();
    refresh();
}

// ---- Opening a picture or a GROB.

function drawPicture(bitmap, grob) {
    const canvas = $('picture');
    const largest = Math.max(bitmap.width, bitmap.height);
    // A large photo is shown reduced; a GROB and a small picture dot for dot.
    const scale = grob ? 1 : Math.min(1, 1200 / largest);
    canvas.width = Math.max(1, Math.round(bitmap.width * scale));
    canvas.height = Math.max(1, Math.round(bitmap.height * scale));
    const context = canvas.getContext('2d');
    context.fillStyle = '#fff';
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.imageSmoothingQuality = 'high';
    context.drawImage(bitmap, 0, 0, canvas.width, canvas.height);
    bitmap.close();
    // Shown at most 224 pixels high; a small one enlarged by a whole factor.
    const enlarge = Math.max(1, Math.floor(224 / Math.max(canvas.width, canvas.height)));
    const width = Math.min(canvas.width * enlarge, (224 * canvas.width) / canvas.height);
    canvas.style.width = `${width}px`;
    canvas.classList.toggle('dots', enlarge > 1 || grob);
    canvas.hidden = false;
}

async function open(file) {
    if (!file) return;
    const name = file.name || 'picture';
    $('file-error').textContent = '';
    $('file-info').textContent = `Opening ${name}…`;
    const answer = await ask({ type: 'open', file, name });
    if (answer.error) {
        $('file-error').textContent = `Cannot open "${name}": ${answer.error}.`;
        $('file-info').textContent = source
            ? `Still showing ${source.name}.`
            : 'Open a picture to convert it.';
        return;
    }
    source = { name, grob: answer.grob, width: answer.width, height: answer.height };
    drawPicture(answer.bitmap, answer.grob);
    $('picture').setAttribute('aria-label', `The picture ${name}`);
    const what = answer.grob ? 'a GROB, shown in its shades' : 'a picture';
    $('file-info').textContent = `${name}: ${what}, ${answer.width} x ${answer.height} pixels.`;
    if (answer.series) {
        state.series = String(answer.series);
        showState();
    }
    $('save-picture').hidden = !answer.grob;
    for (const id of ['download', 'copy', 'save-preview']) $(id).disabled = false;
    $('action-status').textContent = '';
    refresh();
}

// ---- Saving and copying.

// The name the desktop program gives an output: the picture's name up to
// its last dot, then the new extension.
function outputName(extension, suffix = '') {
    const name = source.name;
    const dot = name.lastIndexOf('.');
    return `${dot > 0 ? name.slice(0, dot) : name}${suffix}.${extension}`;
}

function grobName() {
    return outputName(state.kind);
}

function save(blob, name) {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function say(text, error = false) {
    const status = $('action-status');
    status.textContent = text;
    status.classList.toggle('error', error);
}

async function current(what) {
    const answer = await whenCurrent();
    if (answer.error) say(`Cannot ${what}: ${answer.error}.`, true);
    return answer.error ? null : answer;
}

async function download() {
    const name = grobName();
    const answer = await current(`write "${name}"`);
    if (!answer) return;
    save(new Blob([answer.grob], { type: 'application/octet-stream' }), name);
    say(`${name} saved to your downloads.`);
}

async function copyText() {
    const answer = await current('copy the GROB');
    if (!answer) return;
    try {
        await navigator.clipboard.writeText(answer.text);
    } catch {
        // No clipboard interface (a page not served over https): the old way.
        const area = Object.assign(document.createElement('textarea'), { value: answer.text });
        document.body.append(area);
        area.select();
        const copied = document.execCommand('copy');
        area.remove();
        if (!copied) {
            say('Cannot copy the GROB: this browser does not allow it here.', true);
            return;
        }
    }
    const kind = table.kinds.find((k) => k.extension === state.kind);
    const [wide, high] = answer.dots;
    say(`Copied the ${kind.description} as text: ${wide} x ${high} dots.`);
}

function canvasPng(canvas) {
    return new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
}

async function savePreview() {
    const name = outputName('png', '-preview');
    const answer = await current(`write "${name}"`);
    if (!answer) return;
    save(await canvasPng($('preview')), name);
    say(`${name} saved to your downloads.`);
}

async function savePicture() {
    const name = outputName('png');
    save(await canvasPng($('picture')), name);
    say(`${name} saved to your downloads.`);
}

// ---- Wiring.

buildControls();
showState();
$('file').addEventListener('change', (event) => {
    open(event.target.files[0]);
    event.target.value = '';
});
$('download').addEventListener('click', download);
$('copy').addEventListener('click', copyText);
$('save-preview').addEventListener('click', savePreview);
$('save-picture').addEventListener('click', savePicture);
$('reset').addEventListener('click', () => {
    state = { ...defaults };
    showState();
    keep();
    refresh();
});

const drop = $('drop');
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
});
document.addEventListener('dragleave', (event) => {
    if (!event.relatedTarget) drop.classList.remove('over');
});
document.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    open(event.dataTransfer.files[0]);
});
// A picture pasted, or a GROB's text form (from a forum post, say) pasted
// anywhere but into a box.
document.addEventListener('paste', (event) => {
    const data = event.clipboardData;
    if (!data || event.target.closest('input, select, textarea')) return;
    const text = data.getData('text/plain');
    const file = data.files[0] || (/GROB/.test(text) ? new File([text], 'pasted.gro') : null);
    if (!file) return;
    event.preventDefault();
    open(file);
});
