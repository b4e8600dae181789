#!/usr/bin/python3
"""A random agent against kelp-strong's search in the environment: every
stone a uniformly random candidate shot. Run from the repository with the
build tree:

    PYTHONPATH=build/python /usr/bin/python3 examples/random_agent.py [matches]
"""
import sys

import numpy as np

import kelp


def main():
    matches = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    # A fixed budget and seed: the same matches on any machine.
    opponent = kelp.Engine("strong", samples=3000, seed=1)
    env = kelp.CurlingEnv(opponent=opponent, ends=4)
    rng = np.random.default_rng(0)
    for m in range(matches):
        obs, info = env.reset(seed=m)
        total, terminated = 0.0, False
        while not terminated:
            action = int(rng.integers(0, len(info["candidates"]["label"])))
            obs, reward, terminated, truncated, info = env.step(action)
            total += reward
        agent, other = info["score"]
        print(f"match {m}: random agent {agent} - {other} Engine('strong'), "
              f"ends {info['end_scores']}, reward {total:+.0f}")


if __name__ == "__main__":
    main()
