"""The Dask example: chunked results equal single calls, on two worker processes."""
import pathlib
import runpy
import types

import numpy as np
import pytest

distributed = pytest.importorskip("dask.distributed")

EXAMPLE = pathlib.Path(__file__).resolve().parent.parent / "examples" / "dask_blocks.py"


def load_example():
    # Run by path, not imported: the workers receive its functions by value.
    return types.SimpleNamespace(**runpy.run_path(str(EXAMPLE)))


def test_chunked_kernels_match_single_calls():
    ex = load_example()
    x, rows, centroids = ex.data(n=30_000, d=8, k=5)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        # uneven chunks, some above and some below the parallel threshold
        activated, probabilities, labels = ex.pipeline(client, x, rows, centroids, chunk=12_345)
    assert np.array_equal(activated, ex.q.gelu(x))
    assert np.array_equal(probabilities, ex.q.softmax(rows))
    assert np.array_equal(labels, ex.nearest_centroid(rows, centroids))
    assert len(set(labels.tolist())) == 5
