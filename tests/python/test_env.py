"""The environment's contract: reset and step as Gymnasium has them, a fixed
observation, rewards that add up to the match score, and bad actions."""
import numpy as np
import pytest

import kelp


def tee_draw(board):
    return 9  # a candidate index: TEE-type draws come early in the list


def play(env, seed, policy):
    obs, info = env.reset(seed=seed)
    observations, rewards, steps = [obs], [], 0
    terminated = False
    while not terminated:
        obs, reward, terminated, truncated, info = env.step(policy(info))
        assert not truncated and isinstance(reward, float)
        observations.append(obs)
        rewards.append(reward)
        steps += 1
    return observations, rewards, info, steps


@pytest.mark.parametrize("agent_first", [True, False])
def test_a_match_keeps_the_contract(agent_first):
    env = kelp.CurlingEnv(opponent=tee_draw, ends=2, agent_first=agent_first)
    rng = np.random.default_rng(0)
    observations, rewards, info, steps = play(
        env, 5, lambda info: int(rng.integers(0, len(info["candidates"]["label"]))))
    assert steps == 16  # eight stones an end
    for obs in observations:
        assert obs.shape == env.observation_space.shape == (38,) and obs.dtype == np.float32
    first = observations[0]
    assert first[33] == (0 if agent_first else 1)
    assert first[32] == (0 if agent_first else 1)  # the opponent threw first when it leads
    assert first[35] == 2 and first[36] == 0
    agent, opponent = info["score"]
    assert sum(rewards) == agent - opponent
    assert sorted(abs(r) for r in rewards)[:-2] == [0] * 14  # points only at an end's close
    assert len(info["end_scores"]) == 2 and sum(info["end_scores"]) == agent - opponent
    assert observations[-1][36] == agent - opponent
    with pytest.raises(RuntimeError, match="reset"):
        env.step((0.0, -29.5, 0))


def test_same_seed_same_match_and_shots_as_actions():
    env = kelp.CurlingEnv(opponent=tee_draw, ends=1)
    draw = (-0.99, -29.56, 0)
    a = play(env, 3, lambda info: draw)
    b = play(env, 3, lambda info: draw)
    np.testing.assert_array_equal(np.array(a[0]), np.array(b[0]))
    c = play(env, 4, lambda info: draw)
    assert not np.array_equal(np.array(a[0]), np.array(c[0]))
    # An engine as the opponent: its shots are in the info.
    env = kelp.CurlingEnv(opponent=kelp.Engine("strong", samples=20, seed=1, threads=1), ends=1)
    obs, info = env.reset(seed=1)
    obs, _, _, _, info = env.step(draw)
    assert len(info["opponent_shots"]) == 1 and obs[32] == 2


def test_bad_actions_and_settings():
    env = kelp.CurlingEnv(opponent=tee_draw, ends=1)
    with pytest.raises(RuntimeError):
        env.step(0)
    env.reset(seed=0)
    for action, error in [(999, ValueError), (-1, ValueError), ((0.0, -29.0, 2), ValueError),
                          ((np.nan, -29.0, 0), ValueError), ("draw", TypeError),
                          (None, TypeError)]:
        with pytest.raises(error):
            env.step(action)
    assert env.board.shot == 0  # nothing was thrown
    with pytest.raises(ValueError):
        kelp.CurlingEnv(ends=0)
    with pytest.raises(TypeError):
        kelp.CurlingEnv(opponent=42)
