// The series page: the running figures, the Elo estimate of A over B with
// its 95 % interval after every counted game, and every game with a link to
// its match page.
(() => {
  const { el, svg, num } = Kelp;
  const data = Kelp.readData();
  const main = Kelp.page();
  if (!data || !Array.isArray(data.games)) {
    main.append(el('p', { class: 'state bad' }, 'This page holds no readable series.'));
    return;
  }
  const names = data.names;
  const played = data.games.length;
  const live = !data.finished;

  document.title = `${names[0]} vs ${names[1]} · Kelp series`;
  main.append(el('h1', {}, `Series: A (${names[0]}) vs B (${names[1]})`));
  let state;
  let cls = '';
  if (data.error) {
    state = `Stopped: ${data.error}`;
    cls = 'bad';
  } else if (data.interrupted) {
    state = `Interrupted: ${played} of ${data.games_planned} games counted.`;
    cls = 'bad';
  } else if (live) {
    state = `Live: ${played} of ${data.games_planned} games counted so far; this page follows the series.`;
    cls = 'live';
  } else if (data.sprt && data.sprt.decided_after) {
    state = `Decided by the SPRT after ${data.sprt.decided_after} of ${data.games_planned} games.`;
  } else {
    state = `Finished: ${played} of ${data.games_planned} games.`;
  }
  main.append(el('p', { class: `state ${cls}`, id: 'state' }, state));

  // --- Figures ---
  const figure = (id, value, label) => el('div', { class: 'figure', id }, el('div', { class: 'value' }, value), el('div', { class: 'label' }, label));
  // No estimate: no game yet, or one side won every game (unbounded).
  const unbounded = data.score === 1 ? '+∞' : data.score === 0 ? '−∞' : '–';
  const elo = data.elo === null ? unbounded : `${data.elo >= 0 ? '+' : ''}${num(data.elo, 1)}`;
  const interval = data.score === null ? 'no game yet'
    : data.elo === null ? `${data.score === 1 ? 'A' : 'B'} won every game: no finite estimate`
    : data.elo_low === null && data.elo_high === null ? 'every game alike: no interval'
    : `95 %: ${data.elo_low === null ? '−∞' : num(data.elo_low, 1)} to ${data.elo_high === null ? '+∞' : num(data.elo_high, 1)}`;
  const figs = el('div', { class: 'figures' },
    figure('games', `${played} / ${data.games_planned}`, 'games counted / planned'),
    figure('wdl', `${data.wins} – ${data.draws} – ${data.losses}`, 'A wins – draws – losses'),
    figure('score', data.score === null ? '–' : num(data.score, 3), 'score of A'),
    figure('elo', elo, `Elo of A over B, per game (${interval})`),
    figure('ends', `${data.ends_a} – ${data.ends_b}`, `ends scored A – B (points ${data.points_a} – ${data.points_b})`),
    figure('forfeits', String(data.forfeits), 'games forfeited (an engine at fault)'));
  // The pairs (same seed, order swapped) are the unit of the figures the
  // summary prints first and the SPRT decides on.
  const pairs = Array.isArray(data.pairs) ? data.pairs.reduce((a, b) => a + b, 0) : 0;
  if (pairs > 0) {
    const pe = data.elo_pair === null ? (data.pair_score === 1 ? '+∞' : data.pair_score === 0 ? '−∞' : '–')
      : `${data.elo_pair >= 0 ? '+' : ''}${num(data.elo_pair, 1)}`;
    const pi = data.elo_pair === null || (data.elo_pair_low === null && data.elo_pair_high === null) ? 'no interval'
      : `95 %: ${data.elo_pair_low === null ? '−∞' : num(data.elo_pair_low, 1)} to ${data.elo_pair_high === null ? '+∞' : num(data.elo_pair_high, 1)}`;
    figs.insertBefore(figure('elo-pair', pe, `Elo of A over B by ${pairs} pairs (${pi}; pair scores 0 ½ 1 1½ 2: ${data.pairs.join(' ')})`), figs.querySelector('#elo'));
  }
  if (data.sprt) {
    const s = data.sprt;
    const decision = s.decision ? s.decision : 'continue';
    const llr = s.llr_pair === undefined ? s.llr : s.llr_pair;
    figs.append(figure('sprt', decision, `SPRT H0: Elo ${s.elo0}, H1: Elo ${s.elo1}; LLR ${num(llr, 3)} in (${num(s.lower, 3)}, ${num(s.upper, 3)})`));
  }
  main.append(figs);

  // --- The chart ---
  main.append(el('h2', {}, 'Elo of A over B after each game, with its 95 % interval'));
  main.append(el('div', { class: 'chart', id: 'chart' }, chart(data.history)));

  // --- The games ---
  main.append(el('h2', {}, 'Games'));
  const table = el('table', { id: 'games' });
  table.append(el('tr', {}, ...['game', 'seed', 'first', 'ends', 'A – B', 'result for A', 'forfeit', 'faults A / B'].map((h) => el('th', {}, h))));
  for (const g of data.games) {
    const folder = `game-${String(g.game).padStart(3, '0')}`;
    const ends = g.ends.map((e) => (e.side ? `${e.side}${e.points}` : '–')).join(' ');
    const forfeit = g.forfeit === null ? '' : g.forfeit === 'both' ? 'both engines' : `by ${g.forfeit}`;
    table.append(el('tr', { 'data-game': g.game },
      el('td', {}, el('a', { href: `${folder}/match.html` }, String(g.game))),
      el('td', {}, String(g.seed)), el('td', {}, g.a_first ? 'A' : 'B'),
      el('td', { class: 'left mono' }, ends), el('td', {}, `${g.total_a} – ${g.total_b}`),
      el('td', {}, g.result), el('td', {}, forfeit), el('td', {}, `${g.faults_a} / ${g.faults_b}`)));
  }
  main.append(el('div', { class: 'scroll' }, table));
  main.append(el('h2', {}, 'Series'));
  main.append(el('dl', { class: 'facts' },
    el('dt', {}, 'engine A'), el('dd', {}, el('span', { class: 'mono' }, data.engine_a.join(' '))),
    el('dt', {}, 'engine B'), el('dd', {}, el('span', { class: 'mono' }, data.engine_b.join(' '))),
    el('dt', {}, 'ends per game'), el('dd', {}, String(data.ends_per_game)),
    el('dt', {}, 'seed'), el('dd', {}, String(data.seed))));

  Kelp.reloadWhile(live, () => false);

  // The estimate (line) and its interval (band) against the games counted.
  // The Elo axis is chosen from the estimates past the first quarter of
  // the games (the first ones swing wildly), between ±25 and ±800; values
  // beyond it, and unbounded ends of the interval, are drawn at the edge.
  function chart(history) {
    const Wc = 860, Hc = 340, L = 56, Rr = 16, T = 14, B = 40;
    const root = svg('svg', { width: Wc, height: Hc, viewBox: `0 0 ${Wc} ${Hc}`, role: 'img' });
    root.append(svg('rect', { x: 0, y: 0, width: Wc, height: Hc, fill: '#ffffff' }));
    const n = history.length;
    if (!n) {
      root.append(svg('text', { x: Wc / 2, y: Hc / 2, 'text-anchor': 'middle', fill: '#5b6b7c' }, 'no game counted yet'));
      return root;
    }
    const settled = history.slice(Math.floor(n / 4));
    let limit = 25;
    for (const [, e, lo, hi] of settled) {
      for (const v of [e, lo, hi]) if (v !== null && Number.isFinite(v)) limit = Math.max(limit, Math.abs(v));
    }
    const unit = limit > 100 ? 100 : 25;  // so that the half-way lines fall on round numbers
    limit = Math.min(800, Math.ceil(limit / (2 * unit)) * 2 * unit);
    const gx = (g) => L + (n === 1 ? 0.5 : (g - 1) / (n - 1)) * (Wc - L - Rr);
    const gy = (v) => T + (1 - (Math.max(-limit, Math.min(limit, v)) + limit) / (2 * limit)) * (Hc - T - B);
    for (let k = -2; k <= 2; k++) {
      const v = (limit * k) / 2;
      root.append(svg('line', { x1: L, x2: Wc - Rr, y1: gy(v), y2: gy(v), stroke: k === 0 ? '#333333' : '#e3e8ee', 'stroke-width': k === 0 ? 1.2 : 1 }));
      root.append(svg('text', { x: L - 6, y: gy(v) + 4, 'text-anchor': 'end', 'font-size': 11, fill: '#5b6b7c' }, `${v > 0 ? '+' : ''}${v}`));
    }
    const ticks = Math.min(n, 8);
    for (let k = 0; k < ticks; k++) {
      const g = ticks === 1 ? 1 : Math.round(1 + (k * (n - 1)) / (ticks - 1));
      root.append(svg('text', { x: gx(g), y: Hc - B + 16, 'text-anchor': 'middle', 'font-size': 11, fill: '#5b6b7c' }, g));
    }
    root.append(svg('text', { x: (L + Wc - Rr) / 2, y: Hc - 8, 'text-anchor': 'middle', 'font-size': 12, fill: '#5b6b7c' }, 'games counted (red: beyond the axis or unbounded)'));
    // The band: the interval where it exists, the edge of the axis where unbounded.
    // Unbounded estimates (one side won every game so far): marks at the edge.
    for (const [g, e, , , score] of history) {
      if (e === null && score !== null) root.append(svg('circle', { class: 'clipped', cx: gx(g), cy: gy(score > 0.5 ? limit : -limit), r: 4, fill: '#c1121f' }));
    }
    const band = history.filter(([, e]) => e !== null);
    if (band.length) {
      const top = band.map(([g, , , hi]) => `${gx(g).toFixed(1)},${gy(hi === null ? limit : hi).toFixed(1)}`);
      const bottom = band.slice().reverse().map(([g, , lo]) => `${gx(g).toFixed(1)},${gy(lo === null ? -limit : lo).toFixed(1)}`);
      root.append(svg('polygon', { class: 'interval', points: top.concat(bottom).join(' '), fill: '#9ec5fe', 'fill-opacity': 0.45, stroke: 'none' }));
      root.append(svg('polyline', { class: 'estimate', points: band.map(([g, e]) => `${gx(g).toFixed(1)},${gy(e).toFixed(1)}`).join(' '), fill: 'none', stroke: '#0b5ed7', 'stroke-width': 2 }));
      for (const [g, e] of band) {
        if (Math.abs(e) > limit) root.append(svg('circle', { class: 'clipped', cx: gx(g), cy: gy(e), r: 4, fill: '#c1121f' }));
      }
    }
    return root;
  }
})();
