// The page: the controls made from the options table (options.js, written
// at build time from the program's own table), the picture decoded in a
// worker of its own (decoder.js: by the program's decoders, or by the
// browser for the kinds the program hands to its renderer) and handed to
// the engine's worker, and what comes back shown and saved. Nothing is
// sent anywhere.
import table from './options.js';
import { zip } from './zip.js';

const $ = (id) => document.getElementById(id);
const option = (name) => table.options.find((o) => o.name === name);
const kStorage = 'veldar-convert-web';
const natural = table.fitPresets.find((p) => p.width === 0).name;
const anySize = table.fitPresets.find((p) => p.width < 0).name;
const screenPresets = table.fitPresets.filter((p) => p.width > 0);

// What each kind is for, in the page's own words.
const kindWords = {
    gro: 'The ordinary GROB, black and white: every HP 48 and HP 49 shows it as it is. For drawings and text, or a photograph with dithering.',
    gro2: '4 shades, each dot 2 columns side by side. It needs a grayscale display program on the calculator; without one it shows the columns, twice as wide.',
    gro4: '16 shades, each dot 4 columns side by side. It needs a grayscale display program on the calculator; without one it shows the columns, four times as wide.',
    g04: '4 shades from 2 black and white frames stacked, which a grayscale display program on the calculator shows in turn: the least flicker.',
    g08: '8 shades from 3 frames stacked, shown in turn by a grayscale display program on the calculator.',
    g16: '16 shades from 4 frames stacked, shown in turn by a grayscale display program on the calculator: smooth photographs at 4 times the memory.',
    g32: '32 shades from 5 frames stacked, shown in turn by a grayscale display program on the calculator: the most shades, memory and flicker.',
};

// ---- The settings: names and values as the options table gives them.
//
// Each option the page has is kept by its name, as its type keeps it: a
// flag true or false, a number, a choice's name; a size with presets (the
// fit) the preset's name, a size without (the tiles) or a region (the crop)
// on or off; and the sides and corner of a size or region under
// "NAME-width", "NAME-height", "NAME-x", "NAME-y". The engine is given them
// as the program's own text ("fit=131x64"), and the table's requirements
// say which have an effect: a new option of the table needs nothing here.

// The kind and the series, then the preparation, the view and the writing;
// the sprite tools' own apart.
const group = (test) => table.options.filter(test);
const pageOptions = [
    option('kind'),
    option('series'),
    ...group((o) => o.preparation),
    ...group((o) => o.previewView && o.name !== 'kind'),
    ...group((o) => o.encoding),
];
const spriteOptions = group((o) => o.cutting);
const pageHas = (entry) => pageOptions.includes(entry) || spriteOptions.includes(entry);

// The parts of a size or a region, and the range of each.
function partsOf(entry) {
    if (entry.type === 'size') return ['width', 'height'];
    return entry.type === 'region' ? ['width', 'height', 'x', 'y'] : [];
}
function partInRange(entry, part, value) {
    const corner = part === 'x' || part === 'y';
    return inRange({ ...entry, type: 'whole', minimum: corner ? 0 : entry.minimum }, value);
}

function inRange(entry, value) {
    return (
        typeof value === 'number' &&
        Number.isFinite(value) &&
        value >= entry.minimum &&
        value <= entry.maximum &&
        (entry.type === 'number' || Number.isInteger(value))
    );
}

function defaultsOf(entries) {
    const values = {};
    for (const entry of entries) {
        const name = entry.name;
        if (entry.type === 'flag') values[name] = entry.default !== 0;
        else if (entry.type === 'whole' || entry.type === 'number') values[name] = entry.default;
        else if (entry.type === 'choice') values[name] = entry.choices[entry.default].name;
        else values[name] = entry.presets ? natural : false;
        partsOf(entry).forEach((part, i) => (values[`${name}-${part}`] = entry.offered[i] ?? 0));
    }
    if (entries.some((entry) => entry.presets)) values.screen = screenPresets[0].name; // a large picture's fit
    return values;
}
const defaults = defaultsOf(pageOptions);
const spriteDefaults = defaultsOf(spriteOptions);

// The option's value as the program reads it: "true", "12.5", "g16",
// "131x64", "30x20+5+4", "none".
function textOf(entry, s) {
    const value = s[entry.name];
    const part = (name) => s[`${entry.name}-${name}`];
    switch (entry.type) {
        case 'flag':
            return value ? 'true' : 'false';
        case 'whole':
        case 'number':
            return String(value);
        case 'choice':
            return value;
        case 'size': {
            const preset = entry.presets ? table.fitPresets.find((p) => p.name === value) : null;
            if (preset ? preset.width === 0 : !value) return 'none';
            if (preset && preset.width > 0) return `${preset.width}x${preset.height}`;
            return `${part('width')}x${part('height')}`;
        }
        case 'region':
            return value ? `${part('width')}x${part('height')}+${part('x')}+${part('y')}` : 'none';
    }
    return '';
}

// The words a flag takes in a link, and no other (not even an object's own names).
const flagWords = new Map([
    ['', true],
    ['1', true],
    ['true', true],
    ['yes', true],
    ['0', false],
    ['false', false],
    ['no', false],
]);

// A number as the options table reads one: [+] [-] digits [. digits] or
// [-] . digits, then [e [+|-] digits].
const kDecimal = /^\+?-?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?$/;

// The values a link's text sets for an option; nothing when it is not one.
function fromText(entry, text) {
    const name = entry.name;
    const parts = (numbers, on) => {
        const values = { [name]: on };
        partsOf(entry).forEach((part, i) => (values[`${name}-${part}`] = numbers[i]));
        return partsOf(entry).every((part, i) => partInRange(entry, part, numbers[i])) ? values : undefined;
    };
    switch (entry.type) {
        case 'flag':
            return flagWords.has(text) ? { [name]: flagWords.get(text) } : undefined;
        case 'whole':
        case 'number': {
            // The decimals the program takes and nothing else: no hex, no blanks.
            const number = kDecimal.test(text) ? Number(text.replace(/^\+/, '')) : NaN;
            return inRange(entry, number) ? { [name]: number } : undefined;
        }
        case 'choice':
            return entry.choices.some((c) => c.name === text) ? { [name]: text } : undefined;
        case 'size': {
            if (text === 'none' || (entry.presets && text === natural)) return { [name]: entry.presets ? natural : false };
            const size = /^(\d+)[xX](\d+)$/.exec(text);
            if (!size) return undefined;
            const [width, height] = [Number(size[1]), Number(size[2])];
            const screen = entry.presets && screenPresets.find((p) => p.width === width && p.height === height);
            if (screen) return { [name]: screen.name, screen: screen.name };
            return parts([width, height], entry.presets ? anySize : true);
        }
        case 'region': {
            if (text === 'none') return { [name]: false };
            // A "+" typed in a link reads as a space.
            const region = /^(\d+)[xX](\d+)[+ ](\d+)[+ ](\d+)$/.exec(text);
            return region ? parts(region.slice(1).map(Number), true) : undefined;
        }
    }
    return undefined;
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
    for (const entry of pageOptions) {
        // A crop belongs to a picture, which is not kept: it is not kept either.
        if (entry.type === 'region') continue;
        const value = saved[entry.name];
        const valid =
            entry.type === 'flag'
                ? typeof value === 'boolean'
                : entry.type === 'choice'
                  ? entry.choices.some((c) => c.name === value)
                  : entry.presets
                    ? table.fitPresets.some((p) => p.name === value)
                    : partsOf(entry).length
                      ? typeof value === 'boolean'
                      : inRange(entry, value);
        if (valid) state[entry.name] = value;
        for (const part of partsOf(entry)) {
            const key = `${entry.name}-${part}`;
            if (partInRange(entry, part, saved[key])) state[key] = saved[key];
        }
    }
    if (screenPresets.some((p) => p.name === saved.screen)) state.screen = saved.screen;
    return state;
}

// A text from a link said back, a long one cut short.
function shortened(text, most = 60) {
    return text.length > most ? `${text.slice(0, most - 3)}...` : text;
}

// Settings from a link: the page's address after #, with the command
// line's names and values (kind=g16&fit=131x64&dither=floyd-steinberg&
// brightness=12.5&invert=1&tile=16x16&mask). What is not a value of its
// option is said and left as it was.
function fromAddress(hash) {
    const values = {};
    const cutting = {};
    const refused = [];
    for (const [key, text] of new URLSearchParams(hash.replace(/^#/, ''))) {
        const entry = option(key);
        const read = entry && pageHas(entry) ? fromText(entry, text) : undefined;
        if (read) Object.assign(spriteOptions.includes(entry) ? cutting : values, read);
        else refused.push(shortened(`${key}=${text}`));
    }
    return { values, cutting, refused };
}

// The settings that differ from the defaults, as a link gives them.
function toAddress() {
    const params = [];
    const s = { ...effective(), ...sprites };
    const plain = { ...defaults, ...spriteDefaults };
    for (const entry of [...pageOptions, ...spriteOptions]) {
        const text = textOf(entry, s);
        if (text === textOf(entry, plain)) continue;
        params.push([entry.name, entry.type === 'flag' ? (s[entry.name] ? '1' : '0') : text]);
    }
    return new URLSearchParams(params).toString();
}

let state = kept();
const sprites = { ...spriteDefaults };
// The series a GROB opened brings for itself, in force while it is shown;
// the series chosen stays kept for the next picture.
let seriesOfGrob = null;
// Whether a crop was set by a link for the next picture opened (a crop
// belongs to a picture, and another picture clears it).
let cropForNext = false;
// Whether the fit was chosen (on the page or by a link) rather than left
// at natural size: only then is a large picture shown at natural size.
let fitChosen = false;

function effective() {
    return { ...state, series: seriesOfGrob ?? state.series };
}

// Whether an option has its effect with these settings, as the table's
// requirements say; one on an option the page does not have (--to) holds.
function applies(entry, s) {
    const plain = { ...defaults, ...spriteDefaults };
    return entry.needs.every((need) => {
        const other = option(need.option);
        if (!pageHas(other)) return true;
        const text = textOf(other, s);
        const met = need.values.length ? need.values.includes(text) : text !== textOf(other, plain);
        return met !== need.unless;
    });
}

// The settings as the engine takes them, one "name=value" a line.
function settingsText(entries, s) {
    return entries.map((entry) => `${entry.name}=${textOf(entry, s)}`).join('\n');
}

// The settings kept for the next visit, and in the address for a link; the
// address follows a drag a moment later (browsers allow a few changes of
// it a second).
let addressTimer = 0;
function keep() {
    try {
        localStorage.setItem(kStorage, JSON.stringify(state));
    } catch {
        // Private browsing or storage turned off: the settings last this visit.
    }
    clearTimeout(addressTimer);
    addressTimer = setTimeout(() => {
        const address = toAddress();
        history.replaceState(null, '', address ? `#${address}` : location.pathname + location.search);
    }, 250);
}

// ---- The controls, one kind for each type of option, made from the
// table: captions, ranges and help from it, each row shown only where its
// option has an effect.

const controls = {}; // key -> { show(value) }

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
    // Shown while the control has the focus (a tap gives it too) or the
    // pointer rests on the row.
    const tip = document.createElement('p');
    tip.className = 'help';
    tip.id = `${key}-help`;
    tip.textContent = help;
    row.append(label);
    return { row, label, error, tip };
}

function describe(element, key) {
    element.setAttribute('aria-describedby', `${key}-error ${key}-help`);
}

// Where a control goes, and what a change of it does.
function place(form, change) {
    return { form, change };
}

function selectField(at, key, labelText, help, items, then = () => {}) {
    const { row, error, tip } = field(key, labelText, help);
    const select = document.createElement('select');
    select.id = key;
    for (const [value, text] of items) select.add(new Option(text, value));
    describe(select, key);
    select.addEventListener('change', () => {
        then(select.value);
        at.change({ [key]: select.value });
    });
    row.append(select, error, tip);
    at.form.append(row);
    controls[key] = { show: (value) => (select.value = value) };
    return row;
}

function checkField(at, key, labelText, help) {
    const { row, label, error, tip } = field(key, '', help);
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.id = key;
    describe(box, key);
    label.textContent = labelText;
    label.className = 'check';
    label.prepend(box);
    row.classList.add('flag');
    box.addEventListener('change', () => at.change({ [key]: box.checked }));
    row.append(error, tip);
    at.form.append(row);
    controls[key] = { show: (value) => (box.checked = value) };
}

// What a control takes, as the command line says it for its option.
function takes(labelText, entry) {
    const kind = entry.type === 'number' ? 'a number' : 'a whole number';
    return `${labelText} takes ${kind} from ${entry.minimum} to ${entry.maximum}`;
}

// A number: a slider and a box that follow each other; the box takes what
// the program takes (decimals where it does). A range that spans many
// times over (gamma) slides on a logarithmic scale.
function numberField(at, entry) {
    const key = entry.name;
    const labelText = entry.label;
    const { row, error, tip } = field(key, labelText, entry.web);
    const whole = entry.type !== 'number';
    const fine = [entry.minimum, entry.maximum, entry.default].some((v) => !Number.isInteger(v));
    const logarithmic = entry.minimum > 0 && entry.maximum / entry.minimum >= 100;
    const steps = 1000;
    const slider = document.createElement('input');
    slider.type = 'range';
    slider.id = `${key}-slider`;
    slider.setAttribute('aria-labelledby', `label-${key}`);
    if (logarithmic) Object.assign(slider, { min: 0, max: steps, step: 1 });
    else Object.assign(slider, { min: entry.minimum, max: entry.maximum, step: fine ? 0.01 : 1 });
    const box = document.createElement('input');
    box.type = 'number';
    box.id = key;
    box.inputMode = whole ? 'numeric' : 'decimal';
    Object.assign(box, { min: entry.minimum, max: entry.maximum, step: whole ? 1 : 'any' });
    describe(box, key);
    describe(slider, key);
    const ratio = Math.log(entry.maximum / entry.minimum);
    const toSlider = (value) =>
        logarithmic ? Math.round((steps * Math.log(value / entry.minimum)) / ratio) : value;
    const fromSlider = (position) => {
        if (!logarithmic) return Number(position);
        const value = entry.minimum * Math.exp((ratio * Number(position)) / steps);
        return Math.min(entry.maximum, Math.max(entry.minimum, Number(value.toFixed(2))));
    };
    const valid = () => {
        error.textContent = '';
        box.removeAttribute('aria-invalid');
    };
    slider.addEventListener('input', () => {
        const value = fromSlider(slider.value);
        box.value = String(value);
        valid();
        at.change({ [key]: value });
    });
    box.addEventListener('input', () => {
        const value = box.value.trim() === '' ? NaN : Number(box.value);
        if (!inRange(entry, value)) {
            error.textContent = `${takes(labelText, entry)}.`;
            box.setAttribute('aria-invalid', 'true');
            return;
        }
        valid();
        slider.value = String(toSlider(value));
        at.change({ [key]: value });
    });
    const pair = document.createElement('div');
    pair.className = 'pair';
    pair.append(slider, box);
    row.append(pair, error, tip);
    at.form.append(row);
    controls[key] = {
        show: (value) => {
            box.value = String(value);
            slider.value = String(toSlider(value));
            valid();
        },
    };
}

const capital = (text) => text.charAt(0).toUpperCase() + text.slice(1);
const partWords = { width: 'width', height: 'height', x: 'left', y: 'top' };

// The boxes of a size's or a region's parts, two to a row: "Size" (or
// "Part") W x H, and a region's corner "From" X, Y.
function partFields(at, entry, rowKey, labelText, parts) {
    const { row, error, tip } = field(rowKey, labelText, entry.web);
    row.classList.add('size');
    const boxes = Object.assign(document.createElement('div'), { className: 'pair' });
    const errors = {};
    for (const part of parts) {
        const key = `${entry.name}-${part}`;
        const text = capital(`${entry.name} ${partWords[part]}`);
        const corner = part === 'x' || part === 'y';
        const box = Object.assign(document.createElement('input'), { type: 'number', id: key, inputMode: 'numeric' });
        Object.assign(box, { min: corner ? 0 : entry.minimum, max: entry.maximum, step: 1 });
        box.setAttribute('aria-label', text);
        describe(box, rowKey);
        const judge = (value) => {
            if (partInRange(entry, part, value)) {
                delete errors[key];
                box.removeAttribute('aria-invalid');
            } else {
                errors[key] = `${text} takes a whole number from ${corner ? 0 : entry.minimum} to ${entry.maximum}.`;
                box.setAttribute('aria-invalid', 'true');
            }
            error.textContent = parts.map((p) => errors[`${entry.name}-${p}`]).filter(Boolean).join(' ');
        };
        box.addEventListener('input', () => {
            const value = box.value.trim() === '' ? NaN : Number(box.value);
            judge(value);
            if (!errors[key]) at.change({ [key]: value });
        });
        boxes.append(box);
        if (part === parts[0]) boxes.append(Object.assign(document.createElement('span'), { textContent: corner ? ',' : 'x' }));
        controls[key] = {
            show: (value) => {
                box.value = String(value);
                judge(value);
            },
        };
    }
    row.querySelector('label').htmlFor = `${entry.name}-${parts[0]}`;
    row.append(boxes, error, tip);
    at.form.append(row);
    return errors;
}

// Whether any box of a size or region holds what its option does not take.
const partErrors = {};

function optionField(at, entry) {
    const key = entry.name;
    if (entry.type === 'flag') return checkField(at, key, entry.label, entry.web);
    if (entry.type === 'choice')
        return selectField(at, key, entry.label, entry.web, entry.choices.map((c) => [c.name, c.shown]));
    if (entry.type === 'whole' || entry.type === 'number') return numberField(at, entry);
    if (entry.presets) {
        // The fit: the presets, and a width and height for "any size".
        selectField(at, key, entry.label, entry.web, table.fitPresets.map((p) => [p.name, p.label]), (value) => {
            fitChosen = true;
            if (screenPresets.some((p) => p.name === value)) state.screen = value;
        });
        partErrors[key] = partFields(at, entry, `${key}-size`, 'Size', ['width', 'height']);
        return;
    }
    checkField(at, key, entry.label, entry.web);
    if (entry.type === 'size') partErrors[key] = partFields(at, entry, `${key}-size`, 'Size', ['width', 'height']);
    else {
        partErrors[key] = partFields(at, entry, `${key}-size`, 'Part', ['width', 'height']);
        Object.assign(partErrors[key], partFields(at, entry, `${key}-corner`, 'From', ['x', 'y']));
    }
}

function buildControls() {
    const at = place($('settings'), changed);
    for (const entry of pageOptions) {
        if (entry.name === 'series') {
            selectField(at, 'series', entry.label, entry.web, entry.choices.map((c) => [c.name, c.shown]), () => (seriesOfGrob = null));
            continue;
        }
        optionField(at, entry);
        if (entry.name === 'kind')
            $('row-kind').after(Object.assign(document.createElement('p'), { id: 'kind-about', className: 'about' }));
    }
}

// Each option's row shown where it has an effect, and the parts of a size
// or a region where they are used.
function showRows(entries, s) {
    for (const entry of entries) {
        const shown = applies(entry, s);
        $(`row-${entry.name}`).hidden = !shown;
        const used = entry.presets ? s[entry.name] === anySize : Boolean(s[entry.name]);
        for (const row of ['size', 'corner']) {
            const element = $(`row-${entry.name}-${row}`);
            if (element) element.hidden = !(shown && used);
        }
    }
}

function showState() {
    const shown = effective();
    for (const [key, control] of Object.entries(controls)) control.show(key in shown ? shown[key] : sprites[key]);
    showRows(pageOptions, { ...shown, ...sprites });
    showRows(spriteOptions, { ...shown, ...sprites });
    $('download-viewer').hidden = !applies(option('viewer'), { ...shown, ...sprites });
    if (source) $('download').textContent = `Download ${downloadName()}`;
    const kind = table.kinds.find((k) => k.extension === state.kind);
    $('kind-about').textContent = kindWords[kind.extension] || kind.description;
    showCrop();
    if (source) showSprites();
}

// The outlines of the screens drawn around the dots: the first solid, the
// later dashed, as the preview draws them.
function buildLegend() {
    const legend = $('legend');
    legend.append('Outlines: ');
    table.screens.forEach((screen, i) => {
        const mark = document.createElement('span');
        mark.className = i ? 'outline dashed' : 'outline';
        mark.setAttribute('aria-hidden', 'true');
        const text = `${i ? 'dashed' : 'solid'}, ${screen.width} x ${screen.height} (${screen.models})`;
        legend.append(mark, `${text}${i < table.screens.length - 1 ? '; ' : '.'}`);
    });
}

// ---- The engine's worker; the page is busy while a picture opens or the
// preview of the settings chosen is still to come.

const worker = new Worker('worker.js');
let messageId = 0;
const replies = new Map();
let started = false;
function failed(cause) {
    const text = `The converter cannot start: ${cause}. Reload the page to try again; if this stays, tell whoever keeps this site.`;
    $('cannot-start').textContent = text;
    $('cannot-start').hidden = false;
    document.body.dataset.ready = 'false';
}
worker.onmessage = ({ data }) => {
    if (data.type === 'ready') {
        // Ready once the decoder's script is here too, which works offline.
        started = true;
        spare = spareDecoder();
        spare.loaded.then(() => (document.body.dataset.ready = 'true'));
    }
    if (data.type === 'failed') failed(data.error);
    const reply = replies.get(data.id);
    replies.delete(data.id);
    if (reply) reply(data);
};
worker.onerror = () => started || failed('its worker, worker.js, did not load');
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
let opening = null; // the opening under way
const waiting = [];

function updateBusy() {
    const busy = Boolean(opening) || (Boolean(source) && !latest);
    document.body.dataset.busy = String(busy);
    $('download-all').disabled = Boolean(opening);
    if (source) showSprites();
    if (busy) $('result').setAttribute('aria-busy', 'true');
    else $('result').removeAttribute('aria-busy');
}

// The settings for the engine: their text, and the kind's place in the table.
function request() {
    const s = effective();
    return {
        text: settingsText(pageOptions, s),
        kind: option('kind').choices.findIndex((c) => c.name === s.kind),
    };
}

// A change of settings or picture: the preview shown so far is outdated.
function invalidate() {
    ++generation;
    latest = null;
    performance.mark('veldar-change', { detail: generation });
    updateBusy();
}

function refresh() {
    invalidate();
    pump();
}

// Sends the latest settings when no drawing is in flight; those chosen
// meanwhile wait, and only the last of them is sent. Every drawing that
// comes back is shown until a newer one is ready.
async function pump() {
    if (inFlight || !source || latest) return;
    inFlight = true;
    const wanted = generation;
    const settings = request();
    const answer = await ask({ type: 'render', settings });
    inFlight = false;
    show({ ...answer, kind: settings.kind }, wanted);
    pump();
}

function whenCurrent() {
    if (latest) return Promise.resolve(latest);
    return new Promise((resolve) => waiting.push(resolve));
}

function withThousands(value) {
    return value.toLocaleString('en');
}

// "131 x 64 on screen, 4 frames, GROB 131 x 256, 4,214 bytes"
function describeGrob(answer) {
    const kind = table.kinds[answer.kind];
    const [wide, high] = answer.dots;
    const parts = [
        kind.frames ? `${wide} x ${high / kind.frames} on screen` : `${wide / kind.depth} x ${high} on screen`,
    ];
    if (kind.frames) parts.push(`${kind.frames} frames`);
    else if (kind.depth > 1) parts.push(`${kind.depth} columns a dot`);
    parts.push(`GROB ${wide} x ${high}`, `${withThousands(answer.grob.length)} bytes`);
    return parts.join(', ');
}

function show(answer, wanted) {
    const current = wanted === generation;
    // An outdated drawing is shown until the newer one is ready; an
    // outdated failure is not worth saying.
    if (!current && answer.error) return;
    const info = $('preview-info');
    const canvas = $('preview');
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
        info.textContent = describeGrob(answer);
        if (answer.note) info.textContent += ` ${answer.note}`;
        info.classList.remove('error');
    }
    performance.mark('veldar-shown', { detail: wanted });
    if (!current) return;
    // A picture too large for the GROB at this fit: said at the fit too.
    $('fit-error').textContent = answer.tooLarge ? `${answer.error}.` : '';
    // Nothing to save or copy without a conversion (a crop outside the picture, say).
    for (const id of grobActions) $(id).disabled = Boolean(answer.error);
    if (viewWanted) $('result').scrollIntoView({ block: 'nearest' });
    viewWanted = false;
    if (!answer.error && playing) play();
    latest = answer;
    updateBusy();
    for (const resolve of waiting.splice(0)) resolve(answer);
}

// Whether the view is to be scrolled into sight when next drawn.
let viewWanted = false;
const grobActions = ['download', 'download-text', 'download-bare', 'copy', 'save-preview'];

function changed(values) {
    Object.assign(state, values);
    showState();
    keep();
    refresh();
}

// ---- Opening a picture or a GROB.

function drawPicture(bitmap) {
    const canvas = $('picture');
    const largest = Math.max(bitmap.width, bitmap.height);
    // A large photo is shown reduced, a small picture dot for dot.
    const scale = Math.min(1, 1200 / largest);
    canvas.width = Math.max(1, Math.round(bitmap.width * scale));
    canvas.height = Math.max(1, Math.round(bitmap.height * scale));
    const context = canvas.getContext('2d');
    context.fillStyle = '#fff';
    context.fillRect(0, 0, canvas.width, canvas.height);
    context.imageSmoothingQuality = 'high';
    context.drawImage(bitmap, 0, 0, canvas.width, canvas.height);
    bitmap.close();
}

// A GROB's shades, dot for dot.
function drawShades(pixels, width, height) {
    const canvas = $('picture');
    canvas.width = width;
    canvas.height = height;
    canvas.getContext('2d').putImageData(new ImageData(pixels, width, height), 0, 0);
}

function showPicture(grob) {
    const canvas = $('picture');
    // Shown at most 224 pixels high; a small one enlarged by a whole factor.
    const enlarge = Math.max(1, Math.floor(224 / Math.max(canvas.width, canvas.height)));
    const width = Math.min(canvas.width * enlarge, (224 * canvas.width) / canvas.height);
    canvas.style.width = `${width}px`;
    canvas.classList.toggle('dots', enlarge > 1 || grob);
    $('stage').hidden = false;
}

function progress(text, cancellable = true) {
    $('opening').hidden = !text;
    $('opening-text').textContent = text;
    $('cancel').hidden = !cancellable;
}

function stillShowing() {
    return source ? `Still showing ${source.name}.` : 'Open a picture to convert it.';
}

// The decoding, in a worker of its own that Cancel ends. One
// waits ready for the next picture, its script loaded while the page is
// (so that it is there offline too).
let spare = null;
function spareDecoder() {
    const decoder = new Worker('decoder.js');
    decoder.loaded = new Promise((resolve) => {
        decoder.onmessage = () => resolve();
        decoder.onerror = () => resolve((decoder.broken = true));
    });
    return decoder;
}

function decode(task, file, frames = false) {
    performance.mark('veldar-decoding');
    const decoder = spare && !spare.broken ? spare : spareDecoder();
    spare = spareDecoder();
    return new Promise((resolve) => {
        const done = (answer) => {
            decoder.terminate();
            resolve(answer);
        };
        task.end = () => done({ cancelled: true });
        decoder.onmessage = ({ data }) => data.loaded || done(data);
        decoder.onerror = () => done({ error: 'not a picture of a kind this browser reads, or a damaged one' });
        decoder.postMessage({ file, maxSide: table.maxSide, maxPixels: table.maxPixels, frames });
    });
}

// A long piece of work (an opening, the archive of several pictures): one
// at a time, shown with its progress and a Cancel button; a newer opening
// replaces one under way.
function begin(onCancel) {
    if (opening) opening.cancel(false);
    const task = { cancelled: false, end: () => {} };
    task.cancel = (say = true) => {
        task.cancelled = true;
        task.end();
        if (say) onCancel();
    };
    opening = task;
    updateBusy();
    return task;
}

function finish(task) {
    if (opening !== task) return;
    opening = null;
    progress('');
    updateBusy();
}

// What a file holds, told as the program tells it: a binary GROB, else a
// picture decoded (its size checked from its header first),
// else text holding a GROB. The answer carries its pixels, or an error, or
// says it was cancelled.
async function load(task, file, name, say, kind = -1) {
    say(`Reading ${name}…`);
    const look = await ask({ type: 'inspect', file, name, kind });
    if (task.cancelled) return { cancelled: true };
    if (look.error || look.grob) return look;
    const size = look.size ? ` (${look.size[0]} x ${look.size[1]} pixels)` : '';
    say(`Decoding ${name}${size}…`);
    const decoded = await decode(task, file, look.images > 1);
    if (task.cancelled) return { cancelled: true };
    if (!decoded.error) return { ...look, ...decoded };
    return look.textGrob ? ask({ type: 'grob', file, name, kind }) : decoded;
}

// `kind`: the table's index of the kind a GROB is read as (Read as), or -1
// for the one its name tells.
async function open(file, kind = -1) {
    if (!file) return;
    const name = file.name || 'picture';
    const task = begin(() => ($('file-info').textContent = `Opening ${name} cancelled. ${stillShowing()}`));
    performance.mark('veldar-open');
    $('file-error').textContent = '';
    const refuse = (cause) => {
        $('file-error').textContent = `Cannot open "${name}": ${cause}.`;
        $('file-info').textContent = stillShowing();
    };
    try {
        const look = await load(task, file, name, progress, kind);
        if (look.cancelled) return;
        if (look.error) return refuse(look.error);
        progress(`Preparing ${name}…`, false);
        const shades = look.grob ? new Uint8ClampedArray(look.pixels.slice(0)) : null;
        invalidate();
        const { width, height, pixels } = look;
        // The pixels as decoded, straight alpha and all, for the sprite tools.
        const straight = look.frames ?? (pixels && !look.grob ? pixels.slice(0) : null);
        // A JPEG's file too, which the engine decodes again at each fit as
        // the program decodes it.
        const { composed, jpeg } = look;
        const held = composed && jpeg ? file : undefined;
        const used = await ask({ type: 'picture', width, height, pixels, composed, file: held }, pixels ? [pixels] : []);
        if (used.error) {
            look.bitmap?.close();
            refuse(used.error);
            if (source) refresh();
            return;
        }
        if (look.grob) drawShades(shades, width, height);
        else drawPicture(look.bitmap);
        opened(name, look, used, straight, { file, kind });
    } finally {
        performance.mark('veldar-opened');
        finish(task);
    }
}

// ---- Several pictures at once: the first shown, all of them converted
// with its settings into one archive.

let several = [];

function openSeveral(files) {
    several = files.length > 1 ? [...files] : [];
    $('several').hidden = !several.length;
    if (several.length) {
        const first = several[0].name || 'picture';
        $('several-text').textContent =
            `${several.length} pictures: ${first} is shown, and every one is converted with its settings into one archive.`;
        $('download-all').textContent = `Download all ${several.length} GROBs (.zip)`;
    }
    open(files[0]);
}

async function downloadAll() {
    const settings = request();
    const program = viewing();
    const extension = program ? 'prg' : state.kind;
    const task = begin(() => say('Making the archive cancelled.'));
    const entries = [];
    const failed = [];
    const names = new Set();
    try {
        for (const [i, file] of several.entries()) {
            const name = file.name || 'picture';
            const look = await load(task, file, name, (text) => progress(`${i + 1} of ${several.length}: ${text}`));
            if (look.cancelled) return;
            look.bitmap?.close();
            let answer = look;
            if (!look.error) {
                const { width, height, pixels, composed, jpeg } = look;
                const held = composed && jpeg ? file : undefined;
                const message = { type: 'convert', width, height, pixels, composed, file: held, settings };
                answer = await ask(message, pixels ? [pixels] : []);
                if (program && !answer.error) answer = await withViewer(answer, settings.kind);
                if (task.cancelled) return;
            }
            const output = outputName(name, extension);
            if (!answer.error && names.has(output))
                answer = { error: `another picture gives the same name, ${output}` };
            if (answer.error) failed.push(`${name}: ${answer.error}`);
            else entries.push({ name: output, bytes: answer.bytes ?? answer.grob });
            names.add(output);
        }
        const archive = outputName(several[0].name || 'picture', `${extension}.zip`);
        if (entries.length) save(new Blob([zip(entries)], { type: 'application/zip' }), archive);
        const made = entries.length ? `${archive} saved to your downloads, ${entries.length} ${program ? 'programs' : 'GROBs'}` : 'No archive';
        say(failed.length ? `${made}; not converted: ${failed.join('; ')}.` : `${made}.`, failed.length > 0);
    } finally {
        finish(task);
    }
}

// Advice on a picture just opened: each a sentence, some with the one
// click that follows it.
function advise(items) {
    const list = $('advice');
    list.replaceChildren();
    for (const { text, button, action } of items) {
        const item = document.createElement('li');
        item.textContent = text;
        if (button) {
            const click = Object.assign(document.createElement('button'), {
                type: 'button',
                className: 'button small',
                textContent: button,
            });
            click.addEventListener('click', () => {
                item.remove();
                action();
            });
            item.append(' ', click);
        }
        list.append(item);
    }
}

function opened(name, look, used, straight, { file, kind }) {
    const { width, height } = look;
    const items = look.items?.length ? look.items : null;
    const count = items ? items.length : look.frames ? look.frames.byteLength / (width * height * 4) : 1;
    const replaced = Boolean(source) && source.name !== name;
    const { composed, jpeg, delays } = look;
    stopPlaying();
    source = { name, file, grob: look.grob, width, height, straight, items, count, frame: 0, composed, jpeg, delays };
    showPicture(look.grob);
    $('picture').setAttribute('aria-label', `The picture ${name}`);
    const what = items ? `a list of ${count} GROBs, shown in their shades` : look.grob ? 'a GROB, shown in its shades' : 'a picture';
    $('file-info').textContent = `${name}: ${what}, ${width} x ${height} pixels.`;
    const advice = [];
    seriesOfGrob = null;
    // A crop belongs to the picture it was drawn on, as in the window:
    // another picture (by its name) clears it, but for one a link set for
    // the next picture.
    if (replaced && state.crop && !cropForNext) {
        state.crop = false;
        advice.push({ text: 'The crop belonged to the last picture and was cleared.' });
    }
    cropForNext = false;
    if (look.grob) {
        // Its kind from its name, as the program tells it; its series from
        // its header, for this GROB alone.
        const read = table.kinds[look.kind];
        const named = `${read.description} (.${read.extension})`;
        const changes = state.kind !== read.extension;
        state.kind = read.extension;
        if (kind >= 0) advice.push({ text: `Read as a ${named}, as you chose.` });
        else if (!nameTellsKind(name))
            advice.push({ text: `Read as a ${named}: its name tells no kind; choose another kind under "Read this GROB as" if it is one.` });
        else if (changes) advice.push({ text: `Kind set to ${named}, as the file's name says.` });
        $('read-as').value = read.extension;
        if (items)
            advice.push({
                text: `Its GROBs one at a time: step through them below the picture; under Sprites, all of them as numbered files or PNGs.`,
            });
        if (look.series && String(look.series) !== state.series) {
            seriesOfGrob = String(look.series);
            advice.push({
                text: `Series HP ${look.series} for this GROB, as its header says; HP ${state.series}, your choice, comes back with the next picture.`,
            });
        }
    } else {
        if (count > 1)
            advice.push({
                text: `An animated GIF of ${count} frames: the one shown is converted; step through them below the picture, or make a list of them all under Sprites.`,
            });
        else if (look.images > 1)
            advice.push({
                text: `An animated GIF of ${look.images} frames: the first is converted (all of them together are more than the page holds at once).`,
            });
        const screen = screenPresets.find((p) => p.name === state.screen);
        if (state.fit === natural && !fitChosen && (width > screen.width || height > screen.height)) {
            state.fit = screen.name;
            advice.push({
                text: `Larger than the calculator's screen, so fitted to ${screen.width} x ${screen.height}.`,
                button: 'Keep its natural size',
                action: () => {
                    fitChosen = true;
                    changed({ fit: natural });
                },
            });
        }
        if ((look.jpeg || used.photo) && state.dither === defaults.dither)
            advice.push({
                text: 'A photograph, it seems: dithering shows its shades far better than plain bands.',
                button: 'Use Floyd-Steinberg dithering',
                action: () => changed({ dither: 'floyd-steinberg' }),
            });
    }
    advise(advice);
    $('save-picture').hidden = !look.grob;
    $('read-as-row').hidden = !look.grob;
    showFrame();
    showSprites();
    $('action-status').textContent = '';
    showState();
    keep();
    refresh();
    if (!reducedMotion() && delays && count > 1) play();
    // On a phone the calculator's view comes into the first screen once drawn.
    viewWanted = matchMedia('(max-width: 46rem)').matches;
}

// Whether a GROB's name tells its kind, as the program reads it: the
// kind's extension, whatever its case, before any ".lst".
function nameTellsKind(name) {
    const extension = /\.([^./]+)(?:\.lst)?$/i.exec(name)?.[1].toLowerCase();
    return table.kinds.some((k) => k.extension === extension);
}

// ---- Saving and copying.

// The name the desktop program gives an output: the picture's name up to
// its last dot, then the new extension.
function outputName(name, extension, suffix = '') {
    const dot = name.lastIndexOf('.');
    return `${dot > 0 ? name.slice(0, dot) : name}${suffix}.${extension}`;
}

function grobName() {
    return outputName(source.name, state.kind);
}

// With the viewer (--viewer): each GROB of a grayscale kind downloaded in
// one program with the calculator's grayscale viewer, photo.prg.
function viewing() {
    const s = { ...effective(), ...sprites };
    return s.viewer && applies(option('viewer'), s);
}

function downloadName() {
    return viewing() ? outputName(source.name, 'prg') : grobName();
}

// The program of a GROB made (its bytes), or the error.
function withViewer({ grob }, kind) {
    return ask({ type: 'viewer', grob, kind });
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
    const name = downloadName();
    let answer = await current(`write "${name}"`);
    if (answer && viewing()) answer = await withViewer(answer, answer.kind);
    if (!answer) return;
    if (answer.error) return say(`Cannot write "${name}": ${answer.error}.`, true);
    save(new Blob([answer.bytes ?? answer.grob], { type: 'application/octet-stream' }), name);
    say(`${name} saved to your downloads.`);
}

// The viewer alone for the series chosen, as --viewer without pictures writes it.
async function downloadViewer() {
    const series = effective().series;
    const { bytes } = await ask({ type: 'viewer', series: Number(series) });
    save(new Blob([bytes], { type: 'application/octet-stream' }), 'GV');
    say(`GV saved to your downloads: the grayscale viewer alone (HP ${series} file); with a page-flipping GROB and its number of shades on the stack (GROB 16), GV shows it.`);
}

// The text form as a file, as --text writes it (with its %%HP: line) or
// --text --bare (the object alone), under the GROB's own name, as the
// program names it.
async function downloadText(bare) {
    const name = grobName();
    const answer = await current(`write "${name}"`);
    if (!answer) return;
    save(new Blob([bare ? answer.bare : answer.textFile], { type: 'text/plain' }), name);
    say(`${name} saved to your downloads, as ${bare ? 'bare text, the object alone' : 'text with its %%HP: line'}.`);
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
    const [wide, high] = answer.dots;
    say(
        `Copied the GROB (${wide} x ${high} dots) as text, the object alone: paste it into the calculator's command line or an emulator.`,
    );
}

function canvasPng(canvas) {
    return new Promise((resolve) => canvas.toBlob(resolve, 'image/png'));
}

async function savePreview() {
    const name = outputName(source.name, 'png', '-preview');
    const answer = await current(`write "${name}"`);
    if (!answer) return;
    save(await canvasPng($('preview')), name);
    say(`${name} saved to your downloads.`);
}

async function savePicture() {
    const name = outputName(source.name, 'png');
    save(await canvasPng($('picture')), name);
    say(`${name} saved to your downloads.`);
}

// ---- The sprite tools: the picture's frames or tiles, each with its mask
// if asked, in one list of GROBs made with the settings chosen, by the
// engine's own cutting, masks and lists (veldar-convert --list's bytes).

// The sprite tools' controls, made from the table's options for them.
function buildSprites() {
    const at = place($('sprite-settings'), (values) => {
        Object.assign(sprites, values);
        showState();
        keep();
    });
    for (const entry of spriteOptions) optionField(at, entry);
}

function listName() {
    return outputName(source.name, `${state.kind}.lst`);
}

function showSprites() {
    const usable = Boolean(source?.straight);
    const list = Boolean(source?.items);
    $('row-frames').hidden = !(usable && source.count > 1);
    const wrong = Object.entries(partErrors).some(([key, errors]) => sprites[key] && Object.keys(errors).length);
    const button = $('download-list');
    button.disabled = !usable || Boolean(opening) || wrong;
    button.textContent = usable ? `Download ${listName()}` : 'Download the list';
    // Several GROBs from one picture (frames, tiles), or a list's: numbered files too.
    const many = usable && ((sprites.frames && source.count > 1) || sprites.tile);
    $('download-files').disabled = !(many || list) || Boolean(opening) || wrong;
    $('save-pngs').hidden = !list;
    $('save-pngs').disabled = Boolean(opening);
    if (list) $('sprites-status').textContent = `A list of ${source.count} GROBs: each as a file of its own, numbered, or as a PNG.`;
    else if (!usable)
        $('sprites-status').textContent = source ? 'A GROB opened is not cut into sprites: open a picture.' : '';
}

function spritesSay(text, error = false) {
    const status = $('sprites-status');
    status.textContent = text;
    status.classList.toggle('error', error);
}

// The sprite tools' work for the engine: every frame when every one is
// asked for, else the frame shown; one list, or one file a GROB (`files`).
function askSprites(files) {
    const { width, height, count } = source;
    const frames = sprites.frames && count > 1;
    const bytes = width * height * 4;
    const pixels = frames ? source.straight.slice(0) : source.straight.slice(source.frame * bytes, (source.frame + 1) * bytes);
    const settings = request();
    settings.text += `\n${settingsText(spriteOptions, { ...sprites, frames })}`;
    const message = { type: 'sprites', pixels, width, height, count: frames ? count : 1, composed: source.composed, settings, files };
    return ask(message, [pixels]);
}

async function downloadList() {
    if (!source?.straight) return;
    const name = listName();
    spritesSay(`Making ${name}…`);
    const answer = await askSprites(false);
    if (answer.error) {
        spritesSay(`Cannot write "${name}": ${answer.error}.`, true);
        return;
    }
    save(new Blob([answer.list], { type: 'application/octet-stream' }), name);
    const kept = answer.note ? `, ${answer.note}` : '';
    spritesSay(`${name} saved to your downloads: a list of ${answer.grobs} GROBs${kept}.`);
}

// A numbered file's name, as the program numbers them: walk-01.g16,
// walk-01.mask.gro (two digits at least, as many as the count needs).
function numberedName(number, counted, extension) {
    return outputName(source.name, extension, `-${String(number).padStart(Math.max(2, String(counted).length), '0')}`);
}

function saveArchive(entries, archive) {
    save(new Blob([zip(entries)], { type: 'application/zip' }), archive);
    spritesSay(`${archive} saved to your downloads: ${entries.length} files, ${entries[0].name} to ${entries.at(-1).name}.`);
}

// The GROBs one a file, numbered, in one archive: the picture's frames or
// tiles (with their masks) as the program writes them without --list, or a
// list's GROBs, each converted as the program converts a list's --frames.
async function downloadFiles() {
    if (!source) return;
    const archive = outputName(source.name, `${state.kind}.zip`);
    spritesSay(`Making ${archive}…`);
    const entries = [];
    if (source.items) {
        const settings = request();
        for (const [i, { width, height, pixels }] of source.items.entries()) {
            const copy = pixels.slice(0);
            const message = { type: 'convert', width, height, pixels: copy, settings, form: sprites.text ? 'text' : '' };
            const answer = await ask(message, [copy]);
            if (answer.error) return spritesSay(`Cannot write "${archive}": GROB ${i + 1}: ${answer.error}.`, true);
            entries.push({ name: numberedName(i + 1, source.count, state.kind), bytes: answer.grob });
        }
    } else {
        const answer = await askSprites(true);
        if (answer.error) return spritesSay(`Cannot write "${archive}": ${answer.error}.`, true);
        for (const file of answer.files)
            entries.push({ name: numberedName(file.number, answer.counted, file.mask ? 'mask.gro' : state.kind), bytes: file.bytes });
    }
    saveArchive(entries, archive);
}

// A list's GROBs as numbered PNGs of their shades, as --to png --split writes them.
async function savePngs() {
    const entries = [];
    for (const [i, { width, height, pixels }] of source.items.entries()) {
        const canvas = Object.assign(document.createElement('canvas'), { width, height });
        canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(pixels.slice(0)), width, height), 0, 0);
        const bytes = new Uint8Array(await (await canvasPng(canvas)).arrayBuffer());
        entries.push({ name: numberedName(i + 1, source.count, 'png'), bytes });
    }
    saveArchive(entries, outputName(source.name, 'png.zip'));
}

// Stepping through the frames of an animation or the GROBs of a list: the
// one shown is the one converted (wrapping round at either end).
function showFrame() {
    const many = Boolean(source && source.count > 1);
    const what = source?.items ? 'GROB' : 'frame';
    $('stepping').hidden = !many;
    $('frame-back').textContent = `Previous ${what}`;
    $('frame-on').textContent = `Next ${what}`;
    $('play').hidden = !(many && source.delays && !source.items);
    $('play').textContent = playing ? 'Pause' : 'Play';
    $('play').setAttribute('aria-pressed', String(Boolean(playing)));
    if (many) $('frame-text').textContent = `${capital(what)} ${source.frame + 1} of ${source.count}`;
}

async function step(by) {
    if (!source || source.count < 2 || opening) return;
    stopPlaying();
    const frame = (source.frame + by + source.count) % source.count;
    const item = source.items?.[frame];
    const { width, height } = item ?? source;
    const bytes = width * height * 4;
    const pixels = item ? item.pixels.slice(0) : source.straight.slice(frame * bytes, (frame + 1) * bytes);
    const view = new Uint8ClampedArray(pixels.slice(0));
    // The program's frames come composed: their colours are what is shown.
    if (source.composed) for (let i = 3; i < view.length; i += 4) view[i] = 255;
    const shown = item ? null : await createImageBitmap(new ImageData(view, width, height));
    invalidate();
    const used = await ask({ type: 'picture', width, height, pixels, composed: source.composed }, [pixels]);
    if (used.error) {
        shown?.close();
        $('file-error').textContent = `Cannot show ${item ? 'GROB' : 'frame'} ${frame + 1}: ${used.error}.`;
    } else if (item) {
        Object.assign(source, { frame, width, height });
        drawShades(view, width, height);
        showPicture(true);
    } else {
        source.frame = frame;
        drawPicture(shown);
    }
    showFrame();
    showCrop();
    refresh();
}

// ---- An animation played in the calculator's view at its frames' delays
// (paused at first where the system asks for reduced motion); the frame
// shown under the picture stays the one converted.

let playing = null; // { timer, at }
const reducedMotion = () => matchMedia('(prefers-reduced-motion: reduce)').matches;

function drawView({ width, height, pixels }) {
    const canvas = $('preview');
    canvas.width = width;
    canvas.height = height;
    canvas.getContext('2d').putImageData(new ImageData(new Uint8ClampedArray(pixels.buffer ?? pixels), width, height), 0, 0);
    canvas.style.width = `${width}px`;
}

async function play() {
    if (playing) clearTimeout(playing.timer);
    const mine = { timer: 0, at: playing?.at ?? source.frame };
    playing = mine;
    showFrame();
    const { width, height, count } = source;
    const pixels = source.straight.slice(0);
    const answer = await ask({ type: 'views', pixels, width, height, count, composed: source.composed, settings: request() }, [pixels]);
    if (playing !== mine || answer.error) return;
    const tick = () => {
        drawView(answer.views[mine.at]);
        const delay = source.delays[mine.at] || 100;
        mine.at = (mine.at + 1) % count;
        mine.timer = setTimeout(tick, delay);
    };
    tick();
}

function stopPlaying() {
    if (!playing) return;
    clearTimeout(playing.timer);
    playing = null;
    if (latest && !latest.error) drawView(latest.preview);
    showFrame();
}

// ---- The crop drawn over the picture: its rectangle shows the four boxes'
// value (the one place the crop is kept) and sets them when it is drawn on
// the picture, dragged by its body or its corners (mouse, pen or touch), or
// moved with the arrow keys (with Shift: resized; with Ctrl: 10 at a time).

const cropOf = () => ({ x: state['crop-x'], y: state['crop-y'], width: state['crop-width'], height: state['crop-height'] });
const within = (value, low, high) => Math.min(high, Math.max(low, value));

function showCrop() {
    const frame = $('crop-frame');
    const on = Boolean(source && state.crop && applies(option('crop'), { ...effective(), ...sprites }));
    frame.hidden = !on;
    $('stage').classList.toggle('cropping', on);
    if (!on) return;
    const { x, y, width, height } = cropOf();
    const part = (start, length, whole) => [start, Math.min(length, whole - Math.min(start, whole))].map((v) => `${(100 * Math.min(v, whole)) / whole}%`);
    [frame.style.left, frame.style.width] = part(x, width, source.width);
    [frame.style.top, frame.style.height] = part(y, height, source.height);
    frame.setAttribute(
        'aria-label',
        `Crop, ${width} x ${height} from ${x}, ${y}: the arrow keys move it, with Shift they resize it`,
    );
}

// A crop set on the picture, kept within it, into the boxes.
function setCrop({ x, y, width, height }) {
    x = within(x, 0, source.width - 1);
    y = within(y, 0, source.height - 1);
    width = within(width, 1, source.width - x);
    height = within(height, 1, source.height - y);
    changed({ crop: true, 'crop-x': x, 'crop-y': y, 'crop-width': width, 'crop-height': height });
}

function cropPointer(event) {
    if (!source || event.button > 0) return;
    const corner = event.target.dataset.corner;
    const mode = corner || (event.target.closest('#crop-frame') ? 'move' : 'draw');
    // A touch on the picture scrolls the page unless a crop is on it.
    if (mode === 'draw' && event.pointerType === 'touch' && !state.crop) return;
    event.preventDefault();
    const area = $('picture').getBoundingClientRect();
    const { width: wide, height: high } = source;
    const at = (e) => [
        within(Math.round(((e.clientX - area.left) * wide) / area.width), 0, wide),
        within(Math.round(((e.clientY - area.top) * high) / area.height), 0, high),
    ];
    const [sx, sy] = at(event);
    const from = cropOf();
    // The corner that stays where it is, and the one that follows the pointer.
    const [left, right, top, bottom] = [from.x, from.x + from.width, from.y, from.y + from.height];
    const fixed = mode === 'draw' ? [sx, sy] : [mode.includes('w') ? right : left, mode.includes('n') ? bottom : top];
    const moving = mode === 'draw' ? [sx, sy] : [mode.includes('w') ? left : right, mode.includes('n') ? top : bottom];
    const stage = event.currentTarget;
    stage.setPointerCapture(event.pointerId);
    const move = (e) => {
        const [px, py] = at(e);
        if (mode === 'move') {
            const width = Math.min(from.width, wide);
            const height = Math.min(from.height, high);
            setCrop({ x: within(from.x + px - sx, 0, wide - width), y: within(from.y + py - sy, 0, high - height), width, height });
        } else if (mode !== 'draw' || px !== sx || py !== sy) {
            const [cx, cy] = [within(moving[0] + px - sx, 0, wide), within(moving[1] + py - sy, 0, high)];
            const [x, y] = [Math.min(cx, fixed[0]), Math.min(cy, fixed[1])];
            setCrop({ x, y, width: Math.abs(cx - fixed[0]), height: Math.abs(cy - fixed[1]) });
        }
    };
    const end = () => {
        stage.removeEventListener('pointermove', move);
        stage.removeEventListener('pointerup', end);
        stage.removeEventListener('pointercancel', end);
    };
    stage.addEventListener('pointermove', move);
    stage.addEventListener('pointerup', end);
    stage.addEventListener('pointercancel', end);
}

function cropKey(event) {
    const arrows = { ArrowLeft: [-1, 0], ArrowRight: [1, 0], ArrowUp: [0, -1], ArrowDown: [0, 1] };
    if (!source || !arrows[event.key]) return;
    event.preventDefault();
    const [dx, dy] = arrows[event.key].map((v) => v * (event.ctrlKey ? 10 : 1));
    const crop = cropOf();
    if (event.shiftKey) setCrop({ ...crop, width: crop.width + dx, height: crop.height + dy });
    else
        setCrop({
            ...crop,
            x: within(crop.x + dx, 0, source.width - crop.width),
            y: within(crop.y + dy, 0, source.height - crop.height),
        });
}

// ---- The first visit: which calculator, made plain above the settings,
// with how the file gets onto it; gone once a series is picked here.

const kFirstRun = 'veldar-convert-web-first-run';
function firstRun() {
    let seen = true;
    try {
        seen = localStorage.getItem(kFirstRun) === 'done';
    } catch {
        seen = true;
    }
    $('first-run').hidden = seen;
    for (const choice of option('series').choices) {
        const button = Object.assign(document.createElement('button'), {
            type: 'button',
            className: 'button small',
            textContent: choice.shown,
            id: `first-run-${choice.name}`,
        });
        button.addEventListener('click', () => {
            try {
                localStorage.setItem(kFirstRun, 'done');
            } catch {
                // Storage turned off: the line goes for this visit.
            }
            $('first-run').hidden = true;
            seriesOfGrob = null;
            changed({ series: choice.name });
        });
        $('first-run-series').append(button);
    }
}

// ---- Wiring.

function fromLink() {
    const { values, cutting, refused } = fromAddress(location.hash);
    Object.assign(state, values);
    Object.assign(sprites, cutting);
    if ('fit' in values) fitChosen = true;
    if ('crop' in values) cropForNext = true;
    if (refused.length)
        advise([{ text: `Left as they were, not being values of their settings: ${refused.join(', ')}.` }]);
}

buildControls();
buildSprites();
buildLegend();
firstRun();
for (const kind of table.kinds) $('read-as').add(new Option(`${kind.description} (.${kind.extension})`, kind.extension));
fromLink();
showState();
keep();
updateBusy();
window.addEventListener('hashchange', () => {
    fromLink();
    showState();
    keep();
    refresh();
});
$('file').addEventListener('change', (event) => {
    if (event.target.files.length) openSeveral(event.target.files);
    event.target.value = '';
});
$('download-all').addEventListener('click', downloadAll);
$('cancel').addEventListener('click', () => opening?.cancel());
$('download').addEventListener('click', download);
$('download-viewer').addEventListener('click', downloadViewer);
$('copy').addEventListener('click', copyText);
$('save-preview').addEventListener('click', savePreview);
$('save-picture').addEventListener('click', savePicture);
$('download-list').addEventListener('click', downloadList);
$('download-files').addEventListener('click', downloadFiles);
$('save-pngs').addEventListener('click', savePngs);
$('download-text').addEventListener('click', () => downloadText(false));
$('download-bare').addEventListener('click', () => downloadText(true));
$('play').addEventListener('click', () => (playing ? stopPlaying() : play()));
$('stage').addEventListener('pointerdown', cropPointer);
$('crop-frame').addEventListener('keydown', cropKey);
// Open as kind: the GROB shown read again as the kind chosen.
$('read-as').addEventListener('change', () => {
    if (source?.grob) open(source.file, table.kinds.findIndex((k) => k.extension === $('read-as').value));
});
$('frame-back').addEventListener('click', () => step(-1));
$('frame-on').addEventListener('click', () => step(1));
$('reset').addEventListener('click', () => {
    state = { ...defaults };
    Object.assign(sprites, spriteDefaults);
    seriesOfGrob = null;
    fitChosen = false;
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
    if (event.dataTransfer.files.length) openSeveral(event.dataTransfer.files);
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
    openSeveral([file]);
});

// Kept by the browser for use offline, and installable as an app.
if ('serviceWorker' in navigator) navigator.serviceWorker.register('sw.js').catch(() => {});
