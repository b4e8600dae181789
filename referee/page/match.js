// The match page: the sheet as the referee's pictures draw it, each throw
// animated along the paths the exact model gave, the throw's facts, the
// score by end, and stepping by buttons, slider, keys and the fragment
// (#end=E&shot=S, numbered from 0 as in record.jsonl and the picture names).
(() => {
  const { el, svg, num } = Kelp;
  const data = Kelp.readData();
  const main = Kelp.page();
  if (!data || !Array.isArray(data.throws)) {
    main.append(el('p', { class: 'state bad' }, 'This page holds no readable match record.'));
    return;
  }
  const match = data.match;
  const sheet = data.sheet;
  const throws = data.throws;
  const names = match.names;
  const SIDES = ['A', 'B'];
  const sideIndex = (engine) => (engine === 'B' ? 1 : 0);
  const live = data.state === 'playing';

  // --- The sheet, at the pictures' scale ---
  const PX = 80;
  const W = 2 * sheet.half_width * PX;
  const H = (sheet.view_top - sheet.view_bottom) * PX;
  const px = (x) => (x + sheet.half_width) * PX;
  const py = (y) => (sheet.view_top - y) * PX;
  const R = sheet.stone * PX;
  // The model's stones cover the sheet in about two seconds of its time: the
  // animation runs slower than that, so that the eye can follow it.
  const SPEED = 0.35;
  const stepSeconds = match.step_seconds || 0.001;

  function drawSheet() {
    const root = svg('svg', { width: W.toFixed(0), height: H.toFixed(0), viewBox: `0 0 ${W.toFixed(0)} ${H.toFixed(0)}`, role: 'img' });
    root.append(svg('rect', { x: 0, y: 0, width: W, height: H, fill: '#eef4fa' }));
    // The free guard zone: between the hog line and the tee line, outside the house.
    root.append(svg('rect', { class: 'free-guard-zone', x: 0, y: py(0), width: W, height: py(sheet.hog) - py(0), fill: '#dfeaf5' }));
    const ringFill = ['#3a6bc4', '#ffffff', '#e9a0a0', '#ffffff'];
    sheet.rings.forEach((r, k) => root.append(svg('circle', { cx: px(0), cy: py(0), r: r * PX, fill: ringFill[k] })));
    const line = (cls, x1, y1, x2, y2, stroke, width) =>
      root.append(svg('line', { class: cls, x1: px(x1), y1: py(y1), x2: px(x2), y2: py(y2), stroke, 'stroke-width': width }));
    const hw = sheet.half_width;
    line('tee-line', -hw, 0, hw, 0, '#333333', 1);
    line('centre-line', 0, sheet.view_bottom, 0, sheet.view_top, '#333333', 1);
    line('back-line', -hw, sheet.back, hw, sheet.back, '#333333', 1.5);
    line('hog-line', -hw, sheet.hog, hw, sheet.hog, '#b22222', 3);
    root.append(svg('rect', {
      class: 'play-area', x: px(-sheet.play_half_width), y: py(sheet.play_y_max),
      width: 2 * sheet.play_half_width * PX, height: (sheet.play_y_max - sheet.view_bottom + 1) * PX,
      fill: 'none', stroke: '#999999', 'stroke-dasharray': '3 3',
    }));
    root.append(svg('text', { x: 6, y: py(sheet.hog) - 6, 'font-size': 11, fill: '#5b6b7c' }, 'free guard zone'));
    const paths = svg('g', { class: 'paths' });
    const stones = svg('g', { class: 'stones' });
    root.append(paths, stones);
    return { root, paths, stones };
  }

  // --- The record, in the shape the page needs ---
  // The engine that threw each slot of each end.
  const slotEngine = {};
  throws.forEach((t) => { slotEngine[`${t.end}/${t.shot}`] = t.engine; });
  // The stones before throw i: the ones after the throw before it in its end.
  const before = (i) => (i > 0 && throws[i - 1].end === throws[i].end ? throws[i - 1].stones : []);
  const endStarts = [];
  throws.forEach((t, i) => { if (i === 0 || throws[i - 1].end !== t.end) endStarts.push(i); });
  // Points of each end, by side, once the end has been scored.
  const endScores = {};
  throws.forEach((t) => { if (t.end_score) endScores[t.end] = t.end_score; });

  function decodePaths(list) {
    return (list || []).map((a) => {
      const pts = [];
      let t = a[1], x = a[2], y = a[3];
      pts.push({ t, x: x / 1000, y: y / 1000 });
      for (let k = 4; k + 2 < a.length; k += 3) {
        t += a[k]; x += a[k + 1]; y += a[k + 2];
        pts.push({ t, x: x / 1000, y: y / 1000 });
      }
      return { slot: a[0], pts };
    });
  }

  function scoreAfter(i) {
    const total = [0, 0];
    for (const [end, s] of Object.entries(endScores)) {
      if (i >= 0 && Number(end) <= throws[i].end && (Number(end) < throws[i].end || throws[i].end_score)) {
        if (s.engine) total[sideIndex(s.engine)] += s.points;
      }
    }
    return total;
  }

  // --- Words ---
  const statusWords = {
    ok: 'ok',
    late: `late: no reply within ${match.timeout} s, the turn is forfeited`,
    malformed: 'malformed reply: the turn is forfeited',
    dead: 'forfeit: the engine has exited, the turn is lost',
  };
  function statusText(t) {
    if (t.status === 'ok' && t.foul) {
      return 'foul: a guard in the free guard zone left play; the stones are put back and the thrown stone is removed';
    }
    return statusWords[t.status] || `unknown status ${t.status}`;
  }
  const who = (engine) => `${engine} (${names[sideIndex(engine)]})`;

  function stateText() {
    const n = throws.length;
    if (data.error) return { text: `The match could not go on: ${data.error}`, cls: 'bad' };
    if (data.state === 'playing') {
      const where = n ? `end ${throws[n - 1].end} of ${match.ends}, ${n} throw${n === 1 ? '' : 's'} so far` : 'no throw yet';
      return { text: `Live: the match is being played (${where}); this page follows it.`, cls: 'live' };
    }
    if (data.state === 'interrupted') {
      return { text: `Interrupted after ${n} throw${n === 1 ? '' : 's'}: the referee was stopped before the match ended; it has no result.`, cls: 'bad' };
    }
    const [a, b] = data.total;
    let text = data.winner === 'draw' ? `Finished: a draw, ${a}–${b}.` : `Finished: ${who(data.winner)} wins, ${a}–${b}.`;
    if (match.max_throws !== null && n < match.ends * 16) text += ` The match was set to stop after ${match.max_throws} throws.`;
    if (n === 0) text += ' No throw was made.';
    return { text, cls: data.faults.length ? 'bad' : '' };
  }

  // --- The page ---
  document.title = `${names[0]} vs ${names[1]} · Kelp match`;
  main.append(el('h1', {}, `Match: A (${names[0]}) vs B (${names[1]})`));
  const st = stateText();
  main.append(el('p', { class: `state ${st.cls}`, id: 'state' }, st.text));

  const scorebar = el('div', { class: 'scorebar', id: 'scorebar' });
  const pointsEl = [0, 1].map((s) => el('span', { class: 'points', id: `points-${SIDES[s]}` }, '0'));
  [0, 1].forEach((s) => scorebar.append(el('span', { class: 'team' },
    el('span', { class: 'dot', style: `background:${sheet.colours[s]}` }), `${SIDES[s]} · ${names[s]}`, pointsEl[s])));
  const scoreNote = el('span', { class: 'muted', id: 'score-note' });
  scorebar.append(scoreNote);
  main.append(scorebar);

  const layout = el('div', { class: 'layout' });
  const board = drawSheet();
  const details = el('div', { class: 'details' });
  layout.append(el('div', { class: 'sheet', id: 'sheet' }, board.root), details);
  main.append(layout);

  const button = (id, label, title) => el('button', { id, type: 'button', title }, label);
  const buttons = {
    prevEnd: button('prev-end', '« end', 'previous end (↑)'),
    prev: button('prev', '◀ throw', 'previous throw (←)'),
    play: button('play', '▶ play', 'play from this throw (space)'),
    next: button('next', 'throw ▶', 'next throw (→)'),
    nextEnd: button('next-end', 'end »', 'next end (↓)'),
  };
  const slider = el('input', { id: 'slider', type: 'range', min: 0, max: Math.max(0, throws.length - 1), value: 0, 'aria-label': 'throw' });
  details.append(el('div', { class: 'controls' }, buttons.prevEnd, buttons.prev, buttons.play, buttons.next, buttons.nextEnd, slider));
  details.append(el('div', { class: 'keys' }, 'Keys: ← → throw, ↑ ↓ end, space play / pause. Link to a throw: #end=E&shot=S.'));
  const heading = el('h2', { id: 'throw-title' });
  const facts = el('dl', { class: 'facts', id: 'throw' });
  details.append(heading, facts);
  details.append(el('h2', {}, 'Score by end'));
  const endsTable = el('table', { id: 'ends' });
  details.append(el('div', { class: 'scroll' }, endsTable));
  if (data.faults.length) {
    details.append(el('h2', {}, 'Engine faults'));
    details.append(el('ul', { class: 'faults', id: 'faults' }, ...data.faults.map((f) => el('li', {},
      `${who(f.engine)}${f.end >= 0 ? `, end ${f.end} shot ${f.shot}` : ', before the first throw'}: `, el('span', { class: 'mono' }, f.what)))));
    details.append(el('p', { id: 'forfeits' }, `Throws forfeited: A ${data.forfeits[0]}, B ${data.forfeits[1]}.`));
  }
  details.append(el('h2', {}, 'Match'));
  details.append(el('dl', { class: 'facts', id: 'match' },
    el('dt', {}, 'engine A'), el('dd', {}, el('span', { class: 'mono' }, match.commands[0].join(' '))),
    el('dt', {}, 'engine B'), el('dd', {}, el('span', { class: 'mono' }, match.commands[1].join(' '))),
    el('dt', {}, 'ends'), el('dd', {}, String(match.ends)),
    el('dt', {}, 'seed'), el('dd', {}, `${match.seed} (replay with --seed ${match.seed})`),
    el('dt', {}, 'reply time limit'), el('dd', {}, `${match.timeout} s`)));

  // --- Drawing a throw ---
  function stone(slot, engine, x, y, thrown) {
    const side = sideIndex(engine);
    const g = svg('g', { class: 'stone', 'data-slot': slot, 'data-engine': engine, 'data-x': x, 'data-y': y });
    g.append(svg('circle', { cx: px(x).toFixed(2), cy: py(y).toFixed(2), r: R.toFixed(2), fill: sheet.colours[side], stroke: thrown ? '#000000' : '#333333', 'stroke-width': thrown ? 3 : 1.5 }));
    g.append(svg('text', { x: px(x).toFixed(2), y: (py(y) + 4).toFixed(2), 'font-size': 11, 'font-weight': 'bold', 'text-anchor': 'middle', fill: side === 0 ? '#ffffff' : '#000000' }, slot));
    return g;
  }

  function drawStones(i, positions, thrownSlot) {
    board.stones.replaceChildren();
    const end = throws[i].end;
    positions.forEach((p, slot) => {
      if (!p) return;
      board.stones.append(stone(slot, slotEngine[`${end}/${slot}`] || 'A', p[0], p[1], slot === thrownSlot));
    });
  }

  function drawPaths(i) {
    board.paths.replaceChildren();
    for (const { slot, pts } of decodePaths(throws[i].paths)) {
      if (pts.length < 2) continue;
      const thrown = slot === throws[i].shot;
      board.paths.append(svg('polyline', {
        class: 'path', fill: 'none', stroke: thrown ? '#111111' : '#555555', 'stroke-width': thrown ? 2 : 1.5,
        'stroke-dasharray': thrown ? null : '6 4', points: pts.map((p) => `${px(p.x).toFixed(1)},${py(p.y).toFixed(1)}`).join(' '),
      }));
    }
  }

  function fact(label, ...value) {
    facts.append(el('dt', {}, label), el('dd', {}, ...value));
  }

  function showFacts(i) {
    facts.replaceChildren();
    const t = throws[i];
    heading.textContent = `End ${t.end}, shot ${t.shot}`;
    const side = sideIndex(t.engine);
    fact('engine', el('span', { class: 'dot', style: `background:${sheet.colours[side]}` }), ` ${who(t.engine)}`);
    fact('colour', `${t.color} (${t.color === 0 ? 'throws first' : 'throws second'} in this end)`);
    fact('reply', t.reply === null ? el('span', { class: 'muted' }, 'none came') : el('code', { id: 'reply' }, t.reply));
    fact('thrown', t.thrown ? `vx ${num(t.thrown.vx, 4)}, vy ${num(t.thrown.vy, 4)} m/s, spin ${t.thrown.spin === 0 ? '0 (clockwise)' : '1 (counter-clockwise)'}` : 'nothing: the turn was lost');
    fact('execution error', `vx ${num(t.error.vx, 4)}, vy ${num(t.error.vy, 4)} m/s`);
    fact('time', `${num(t.seconds, 3)} s`);
    fact('status', el('span', { id: 'status', class: t.status === 'ok' && !t.foul ? 'status-ok' : 'status-bad' }, statusText(t)));
    const rest = t.stones[t.shot];
    fact('rest', rest ? `(${num(rest[0], 3)}, ${num(rest[1], 3)}) m from the tee` : 'out of play');
    const out = before(i).map((p, k) => (p && !t.stones[k] ? k : -1)).filter((k) => k >= 0);
    fact('knocked out', out.length ? out.map((k) => `stone ${k}`).join(', ') : 'none');
    if (t.end_score) {
      fact('end score', t.end_score.engine ? `${who(t.end_score.engine)} scores ${t.end_score.points}` : 'blank end');
    }
  }

  function showEnds(i) {
    endsTable.replaceChildren();
    const ends = match.ends;
    const header = el('tr', {}, el('th', { class: 'left' }, 'engine'));
    for (let e = 0; e < ends; e++) header.append(el('th', {}, String(e)));
    header.append(el('th', {}, 'total'));
    endsTable.append(header);
    const current = i >= 0 ? throws[i].end : -1;
    [0, 1].forEach((side) => {
      const row = el('tr', {}, el('td', { class: 'left' }, `${SIDES[side]} · ${names[side]}`));
      let total = 0;
      for (let e = 0; e < ends; e++) {
        const s = endScores[e];
        let text = '';
        if (s) {
          const pts = s.engine === SIDES[side] ? s.points : 0;
          total += pts;
          text = s.engine ? String(pts) : 'blank';
        }
        row.append(el('td', { class: e === current ? 'current-end' : null, 'data-end': e }, text));
      }
      row.append(el('td', { 'data-total': SIDES[side] }, String(total)));
      endsTable.append(row);
    });
  }

  // --- Where the page stands ---
  let cur = throws.length ? throws.length - 1 : -1;
  let follow = live;  // live and on the newest throw: move on with the match
  let playing = false;
  let frame = 0;

  function show(i, fromUser) {
    stopAnimation();
    if (!throws.length) {
      heading.textContent = live ? 'Waiting for the first throw' : 'No throw was made';
      drawNothing();
      return;
    }
    cur = Math.max(0, Math.min(throws.length - 1, i));
    if (fromUser) follow = live && cur === throws.length - 1;
    const t = throws[cur];
    drawPaths(cur);
    drawStones(cur, t.stones, t.shot);
    showFacts(cur);
    showEnds(cur);
    const total = scoreAfter(cur);
    pointsEl[0].textContent = String(total[0]);
    pointsEl[1].textContent = String(total[1]);
    scoreNote.textContent = `after end ${t.end}, shot ${t.shot}` + (data.state === 'finished' && cur === throws.length - 1 ? ' (final)' : '');
    slider.value = String(cur);
    buttons.prev.disabled = cur === 0;
    buttons.prevEnd.disabled = cur === 0;
    buttons.next.disabled = cur === throws.length - 1;
    buttons.nextEnd.disabled = cur === throws.length - 1;
    const params = { end: t.end, shot: t.shot };
    // Following, the page also notes how many throws it has shown, so that
    // its next copy can animate the throws that came since.
    if (follow) Object.assign(params, { follow: 1, seen: throws.length });
    Kelp.setFragment(params);
  }

  function drawNothing() {
    board.paths.replaceChildren();
    board.stones.replaceChildren();
    for (const b of Object.values(buttons)) b.disabled = true;
    slider.disabled = true;
    showEnds(-1);
    const total = data.state === 'finished' ? data.total : [0, 0];
    pointsEl[0].textContent = String(total[0]);
    pointsEl[1].textContent = String(total[1]);
  }

  // --- The animation of one throw ---
  function stopAnimation() {
    if (frame) cancelAnimationFrame(frame);
    frame = 0;
  }

  function at(pts, t) {
    if (t <= pts[0].t) return pts[0];
    for (let k = 1; k < pts.length; k++) {
      if (t <= pts[k].t) {
        const a = pts[k - 1], b = pts[k];
        const f = (t - a.t) / (b.t - a.t);
        return { x: a.x + f * (b.x - a.x), y: a.y + f * (b.y - a.y) };
      }
    }
    return null;  // past its last point: stopped there or gone
  }

  function animate(i, done) {
    stopAnimation();
    const t = throws[i];
    const paths = decodePaths(t.paths);
    if (!paths.length) { done(); return; }
    // From the thrown stone's entry into view (the stones it strikes lie
    // still until then).
    const thrown = paths.find((p) => p.slot === t.shot);
    const start = thrown ? thrown.pts[0].t : Math.min(...paths.map((p) => p.pts[0].t));
    const stop = Math.max(...paths.map((p) => p.pts[p.pts.length - 1].t));
    const still = before(i).slice();
    const moving = {};
    for (const p of paths) moving[p.slot] = p.pts;
    board.paths.replaceChildren();
    const began = performance.now();
    const tick = (now) => {
      const step = start + ((now - began) / 1000) * SPEED / stepSeconds;
      const positions = [];
      for (let k = 0; k < 16; k++) {
        if (moving[k]) {
          const p = at(moving[k], step);
          // Past its path: at rest where the record has it, or gone.
          positions[k] = p ? [p.x, p.y] : t.stones[k];
        } else {
          positions[k] = still[k] || null;
        }
      }
      drawStones(i, positions, t.shot);
      if (step < stop) {
        frame = requestAnimationFrame(tick);
      } else {
        frame = 0;
        done();
      }
    };
    frame = requestAnimationFrame(tick);
  }

  function setPlaying(on) {
    playing = on;
    buttons.play.textContent = on ? '⏸ pause' : '▶ play';
    if (!on) {
      if (frame) show(cur, false);
      return;
    }
    const run = () => {
      animate(cur, () => {
        if (!playing) return;
        show(cur, false);
        if (cur < throws.length - 1) {
          setTimeout(() => { if (playing) { show(cur + 1, true); run(); } }, 400);
        } else {
          setPlaying(false);
        }
      });
    };
    run();
  }

  function step(to) {
    if (playing) setPlaying(false);
    show(to, true);
  }
  const endStart = (k) => endStarts[Math.max(0, Math.min(endStarts.length - 1, k))];
  const endIndex = () => endStarts.filter((s) => s <= cur).length - 1;
  const prevEnd = () => {
    // The start of this end, or of the one before when already there.
    const e = endIndex();
    step(endStarts[e] === cur ? endStart(e - 1) : endStarts[e]);
  };
  const nextEnd = () => step(endIndex() + 1 < endStarts.length ? endStart(endIndex() + 1) : throws.length - 1);

  buttons.prev.addEventListener('click', () => step(cur - 1));
  buttons.next.addEventListener('click', () => step(cur + 1));
  buttons.prevEnd.addEventListener('click', prevEnd);
  buttons.nextEnd.addEventListener('click', nextEnd);
  buttons.play.addEventListener('click', () => setPlaying(!playing));
  slider.addEventListener('input', () => step(Number(slider.value)));
  document.addEventListener('keydown', (e) => {
    if (e.altKey || e.ctrlKey || e.metaKey || !throws.length) return;
    const keys = {
      ArrowLeft: () => step(cur - 1), ArrowRight: () => step(cur + 1),
      ArrowUp: prevEnd, ArrowDown: nextEnd, ' ': () => setPlaying(!playing),
      Home: () => step(0), End: () => step(throws.length - 1),
    };
    const act = keys[e.key];
    if (!act) return;
    e.preventDefault();
    act();
  });

  // The fragment names a throw to open; follow=1 (or nothing) on a live
  // page means the newest throw.
  function fromFragment() {
    const f = Kelp.fragment();
    if (!f.has('end') || f.get('follow') === '1') return throws.length - 1;
    const end = Number(f.get('end'));
    const shot = f.has('shot') ? Number(f.get('shot')) : 0;
    let found = throws.findIndex((t) => t.end === end && t.shot === shot);
    if (found < 0) found = throws.findIndex((t) => t.end === end);
    return found >= 0 ? found : throws.length - 1;
  }
  const opened = Kelp.fragment();
  const followed = opened.get('follow') === '1';
  const seenBefore = Number(opened.get('seen') || throws.length);
  const first = fromFragment();
  follow = live && first === throws.length - 1 && (!opened.has('end') || followed);
  show(first, false);
  // The copy that follows a match animates the newest throw when it is new.
  if (followed && data.state !== 'interrupted' && seenBefore < throws.length) {
    animate(throws.length - 1, () => show(throws.length - 1, false));
  }
  window.addEventListener('hashchange', () => { if (playing) setPlaying(false); show(fromFragment(), true); });
  Kelp.reloadWhile(live, () => playing || frame !== 0);
})();
