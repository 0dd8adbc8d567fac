// The page's first words, in a plain script, which loads where the page's
// modules do not: opened as a file, the page cannot work, and says why.
'use strict';
if (location.protocol === 'file:') document.getElementById('need-server').hidden = false;
