"""A curling match as a reinforcement-learning environment, with the
Gymnasium interface (reset and step) but without depending on Gymnasium.

The agent plays a match of `ends` ends against an opponent: a kelp.Engine or
any callable that takes a kelp.Board and returns a shot (vx, vy, spin) in the
server's frame or a candidate index. Every stone, the agent's and the
opponent's, is thrown with the engine's execution error through the fast
simulator (model= and error= change that). The side that scores an end throws
first in the next one; a blank end keeps the order.

Observation: a float32 array of shape (38,):
  0..31  the sixteen stones (x, y) in the server's frame, slot k the stone
         thrown as shot k of the end (even slots: the end's first thrower);
         (0, 0) for a stone not in play
  32     shots already thrown in the end, 0..15
  33     the agent's colour in the end: 0 throws first, 1 has the last stone
  34     the end, from 0
  35     ends still to play, this one included
  36     the match score, the agent's minus the opponent's
  37     the end's score as the stones lie, for the agent (positive: the
         agent would score)

Action: a shot (vx, vy, spin) in the server's frame (as BESTSHOT), or an
integer index into kelp.candidates(board) (info["candidates"]).

Reward: at the end of every end the agent's points minus the opponent's
(0 on the other steps), so the rewards of a match add up to its final score
difference. terminated: the match is over; truncated: never.
"""

import numbers

import numpy as np

from . import _kelp

OBSERVATION_SIZE = 38


class Space:
    """The shape and bounds of an observation or an action (a minimal
    stand-in for Gymnasium's Box)."""

    def __init__(self, low, high, shape, dtype):
        self.low = np.broadcast_to(np.asarray(low, dtype=dtype), shape)
        self.high = np.broadcast_to(np.asarray(high, dtype=dtype), shape)
        self.shape = shape
        self.dtype = np.dtype(dtype)

    def contains(self, x):
        x = np.asarray(x)
        return x.shape == self.shape and bool(np.all(x >= self.low) and np.all(x <= self.high))

    def sample(self, rng):
        """A uniform draw from a numpy Generator (spin rounded to 0 or 1)."""
        x = rng.uniform(self.low, self.high).astype(self.dtype)
        if self.shape == (3,):
            x[2] = float(x[2] >= 0.5)
        return x


class CurlingEnv:
    def __init__(self, opponent=None, ends=8, agent_first=True, model="fast", error=True):
        if opponent is None:
            opponent = _kelp.Engine("greedy")
        if not (isinstance(opponent, _kelp.Engine) or callable(opponent)):
            raise TypeError("opponent must be a kelp.Engine or a callable(board) -> shot")
        if not isinstance(ends, numbers.Integral) or isinstance(ends, bool):
            raise TypeError("ends must be an integer")
        if not 1 <= ends <= 16:
            raise ValueError("ends must be in 1..16")
        if model not in ("fast", "exact"):
            raise ValueError("model must be 'fast' or 'exact'")
        self.opponent = opponent
        self.ends = int(ends)
        self.agent_first = bool(agent_first)
        self.model = model
        self.error = bool(error)
        self.observation_space = Space(-1e3, 1e3, (OBSERVATION_SIZE,), np.float32)
        # Server frame: vx across the sheet, vy toward the house negative.
        self.action_space = Space([-4.0, -34.0, 0.0], [4.0, -20.0, 1.0], (3,), np.float64)
        self._board = None
        self._rng = None
        self._done = True

    # ---- the Gymnasium interface ----

    def reset(self, seed=None, options=None):
        """Starts a match: returns (observation, info)."""
        del options
        self._rng = np.random.default_rng(seed)
        self._score = [0, 0]  # agent, opponent
        self._end_scores = []
        self._agent_first = self.agent_first
        self._done = False
        self._new_end(0)
        opponent_shots = self._play_opponent()
        return self._observation(), self._info(opponent_shots)

    def step(self, action):
        """The agent throws: returns (observation, reward, terminated,
        truncated, info); the opponent's stones until the agent's next turn
        are thrown before it returns."""
        if self._done:
            raise RuntimeError("the match is over or not started: call reset()")
        shot = self._shot_of(action, self._board)
        before = self._score[0] - self._score[1]
        self._throw(shot)
        opponent_shots = self._play_opponent()
        reward = float((self._score[0] - self._score[1]) - before)
        return self._observation(), reward, self._done, False, self._info(opponent_shots)

    # ---- the match ----

    @property
    def board(self):
        """The current kelp.Board (None before reset)."""
        return self._board

    def _agent_colour(self):
        return 0 if self._agent_first else 1

    def _new_end(self, end):
        diff = self._score[0] - self._score[1]
        first_minus_second = diff if self._agent_first else -diff
        self._board = _kelp.Board(None, 0, end, ends=self.ends, score_diff=first_minus_second)

    def _throw(self, shot):
        seed = int(self._rng.integers(0, 2**32))
        self._board, _ = _kelp.throw(
            self._board, shot, seed=seed, error=self.error, model=self.model
        )
        if self._board.over:
            self._finish_end()

    def _finish_end(self):
        points = self._board.score()  # for the end's first thrower
        agent = points if self._agent_first else -points
        if agent > 0:
            self._score[0] += agent
        elif agent < 0:
            self._score[1] -= agent
        self._end_scores.append(agent)
        if agent != 0:
            # The side that scored throws first in the next end.
            self._agent_first = agent > 0
        end = self._board.end + 1
        if end >= self.ends:
            self._done = True
        else:
            self._new_end(end)

    def _play_opponent(self):
        shots = []
        while not self._done and self._board.to_throw != self._agent_colour():
            if isinstance(self.opponent, _kelp.Engine):
                shot = self.opponent.think(self._board).shot
            else:
                shot = self._shot_of(self.opponent(self._board), self._board)
            shots.append(shot)
            self._throw(shot)
        return shots

    @staticmethod
    def _shot_of(action, board):
        if isinstance(action, (numbers.Integral, np.integer)) and not isinstance(action, bool):
            shots = _kelp.candidates(board)["shot"]
            if not 0 <= int(action) < len(shots):
                raise ValueError(
                    f"candidate index {int(action)} is not in 0..{len(shots) - 1}"
                )
            return tuple(shots[int(action)])
        if isinstance(action, (str, bytes, bool)) or action is None:
            raise TypeError("an action is a shot (vx, vy, spin) or a candidate index")
        return action

    def _observation(self):
        b = self._board
        obs = np.zeros(OBSERVATION_SIZE, dtype=np.float32)
        obs[:32] = b.stones.reshape(-1)
        obs[32] = b.shot
        obs[33] = self._agent_colour()
        obs[34] = b.end
        obs[35] = self.ends - b.end
        obs[36] = self._score[0] - self._score[1]
        lies = b.score()
        obs[37] = lies if self._agent_first else -lies
        return obs

    def _info(self, opponent_shots):
        info = {
            "board": self._board,
            "score": tuple(self._score),
            "end_scores": list(self._end_scores),
            "opponent_shots": opponent_shots,
        }
        if not self._done:
            info["candidates"] = _kelp.candidates(self._board)
        return info
