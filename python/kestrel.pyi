# Type stub of the extension module kestrel (kestrel_module.cc holds the docstrings).
import os
from typing import Iterable, Optional, Sequence, Tuple, Union

import pandas

_Path = Union[str, os.PathLike[str]]
_Rows = Iterable[Iterable[int]]

__version__: str

class KestrelError(ValueError): ...

def mine(
    transactions: Union[_Path, _Rows],
    min_support: Union[int, float],
    *,
    constraints: Sequence[Tuple[str, str]] = (),
    attributes: Union[_Path, Sequence[Sequence[int]], None] = None,
    hop: Optional[int] = None,
    preloops: Optional[int] = None,
    threads: Optional[int] = None,
    tmpdir: Optional[_Path] = None,
    progress: bool = False,
) -> list[tuple[tuple[int, ...], int]]: ...

def mine_frame(
    transactions: Union[_Path, _Rows],
    min_support: Union[int, float],
    *,
    constraints: Sequence[Tuple[str, str]] = (),
    attributes: Union[_Path, Sequence[Sequence[int]], None] = None,
    hop: Optional[int] = None,
    preloops: Optional[int] = None,
    threads: Optional[int] = None,
    tmpdir: Optional[_Path] = None,
    progress: bool = False,
) -> pandas.DataFrame: ...
