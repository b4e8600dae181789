#!/usr/bin/python3
"""What one shot's execution error does: a take-out of the shot stone in the
middle of an end, thrown 40,000 times with the engine's error, and the end's
score after it (for the thrower) over the error in the shot's velocity.
Run from the repository with the build tree:

    PYTHONPATH=build/python /usr/bin/python3 examples/error_heatmap.py [out.png]
"""
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import kelp  # noqa: E402

N = 40_000


def position():
    """Seven stones, BLACK (the first thrower) to play; WHITE lies shot."""
    xy = np.tile(kelp.Board().board_stones[0], (16, 1))
    stones = {0: (0.0, -3.0), 2: (0.4, 0.2), 4: (-0.9, 1.0), 6: (-1.2, -1.4),
              1: (0.5, -2.5), 3: (-0.2, -0.1), 5: (1.1, 0.8)}
    for k, p in stones.items():
        xy[k] = p
    return kelp.Board(xy, 7, frame="board")


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "error-heatmap.png"
    board = position()
    c = kelp.candidates(board)
    # The hard hit aimed nearest WHITE's shot stone, at (-0.2, -0.1) on the board.
    hits = [i for i, lab in enumerate(c["label"]) if lab.startswith("STRONG")]
    take = min(hits, key=lambda i: np.hypot(*(c["target"][i] - (2.175, 4.98))))
    shot = c["shot"][take]
    res = kelp.throw_batch(board, np.tile(shot, (N, 1)), seed=2024)
    error = res["thrown"][:, :2] - shot[:2]
    score = res["score"].astype(float)  # BLACK threw: positive is good for it

    fig, (ax, bx) = plt.subplots(1, 2, figsize=(11, 4.6))
    hb = ax.hexbin(error[:, 0], error[:, 1], C=score, reduce_C_function=np.mean, gridsize=28,
                   cmap="RdBu", vmin=-3, vmax=3, mincnt=5)
    ax.plot(0, 0, "k+", ms=12)
    ax.set(xlabel="error in vx (m/s)", ylabel="error in vy (m/s, server frame)",
           title=f"{c['label'][take]}: mean end score after the throw")
    fig.colorbar(hb, ax=ax, label="end score for the thrower")
    # Where the stones end up, each throw's stones in play as a dot.
    stones = res["stones"].reshape(-1, 2)
    stones = stones[(stones != 0).any(axis=1)]
    bx.hexbin(stones[:, 0], stones[:, 1], gridsize=60, bins="log", cmap="Greys",
              extent=(0.3, 4.45, 2.8, 8.2))
    bx.add_patch(plt.Circle((2.375, 4.88), 1.83, fill=False, color="tab:blue"))
    bx.plot(*board.stones[board.in_play].T, "o", mfc="none", mec="tab:red", ms=9)
    bx.set(xlim=(0.3, 4.45), ylim=(8.2, 2.8), aspect="equal", xlabel="x (m)", ylabel="y (m)",
           title="where the stones rest (log density); red: before")
    share = res["contact"].mean()
    fig.suptitle(f"{N} throws with the engine's execution error; contact in {share:.0%}, "
                 f"mean score {score.mean():+.2f}")
    fig.tight_layout()
    fig.savefig(out, dpi=110)
    print(f"wrote {out}")


if __name__ == "__main__":
    main()
