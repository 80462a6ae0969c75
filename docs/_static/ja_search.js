/*
 * Japanese words in a search query, cut as the index cut them.  The index
 * is built with Sphinx's Japanese splitter, so 描画ページ is stored as 描画
 * and ページ; the default query splitter would look for 描画ページ whole and
 * find nothing.  Each run of letters that the index does not hold as it is
 * is split greedily into the longest terms the index does hold.
 */
var splitQuery = (query) => {
  const index = typeof Search !== "undefined" && Search._index ? Search._index.terms : {};
  const has = (term) => Object.prototype.hasOwnProperty.call(index, term.toLowerCase());
  const out = [];
  for (const word of query.split(/[^\p{Letter}\p{Number}_\p{Emoji_Presentation}]+/gu)) {
    if (!word) continue;
    if (has(word) || !/[\u3040-\u30ff\u3400-\u9fff\uff00-\uffef]/.test(word)) {
      out.push(word);
      continue;
    }
    let start = 0;
    while (start < word.length) {
      let end = word.length;
      while (end > start + 1 && !has(word.slice(start, end))) end--;
      out.push(word.slice(start, end));
      start = end;
    }
  }
  return out;
};
