# Type stub of the extension module kestrel (kestrel_module.cc holds the docstrings).
import os
from typing import Hashable, Iterable, Mapping, Optional, Sequence, Tuple, Union

import pandas

_Path = Union[str, os.PathLike[str]]
# Item ids (ints in [0, 2**32)) or any hashable items; or a one-hot DataFrame.
_Rows = Union[Iterable[Iterable[Hashable]], pandas.DataFrame]
# (keyword, parameters); subseteq and supseteq also take a list of items.
_Constraint = Tuple[str, Union[str, Sequence[Hashable]]]
_Attributes = Union[
    _Path,
    Sequence[Union[Sequence[int], Mapping[Hashable, int], pandas.Series]],
    pandas.DataFrame,
    None,
]

__version__: str

class KestrelError(ValueError): ...

def mine(
    transactions: Union[_Path, _Rows],
    min_support: Union[int, float],
    *,
    constraints: Sequence[_Constraint] = (),
    attributes: _Attributes = None,
    hop: Optional[int] = None,
    preloops: Optional[int] = None,
    threads: Optional[int] = None,
    tmpdir: Optional[_Path] = None,
    progress: bool = False,
) -> list[tuple[tuple[Hashable, ...], int]]: ...

def mine_frame(
    transactions: Union[_Path, _Rows],
    min_support: Union[int, float],
    *,
    constraints: Sequence[_Constraint] = (),
    attributes: _Attributes = None,
    hop: Optional[int] = None,
    preloops: Optional[int] = None,
    threads: Optional[int] = None,
    tmpdir: Optional[_Path] = None,
    progress: bool = False,
) -> pandas.DataFrame: ...
