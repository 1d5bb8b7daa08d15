"""quorvane's array functions as chunk kernels for Dask.

`gelu` over a chunked vector, `softmax` over a matrix chunked by rows, and the
assignment step of k-means (nearest centroid, from `Tensor.matmul`) over the
same rows, on a `dask.distributed` LocalCluster of two worker processes on
loopback. The functions pickle by name, so Dask ships them to the workers;
each chunk is one call that releases the interpreter lock.

Run with `.venv/bin/python examples/dask_blocks.py`.
"""
from __future__ import annotations

import time

import dask.array as da
import numpy as np
from dask.distributed import Client, LocalCluster
from numpy.typing import NDArray

import quorvane as q

F64 = NDArray[np.float64]


def nearest_centroid(block: F64, centroids: F64) -> NDArray[np.int64]:
    """Label of the nearest centroid of each row (squared Euclidean distance).

    |x - c|^2 = |x|^2 - 2 x.c + |c|^2, and |x|^2 is the same for every c, so
    the smallest -2 x.c + |c|^2 wins; x.c for all pairs is one matrix product.
    """
    rows = np.ascontiguousarray(block)
    cross = q.Tensor(rows).matmul(q.Tensor(centroids), transpose_b=True)
    scores = cross.data.reshape(len(rows), len(centroids)) * -2.0 + np.einsum("ij,ij->i", centroids, centroids)
    return np.argmin(scores, axis=1).astype(np.int64)


def pipeline(client: Client, x: F64, rows: F64, centroids: F64, chunk: int) -> tuple[F64, F64, NDArray[np.int64]]:
    """The three kernels over chunked arrays, computed on the cluster."""
    dx = da.from_array(x, chunks=chunk)
    drows = da.from_array(rows, chunks=(chunk, rows.shape[1]))
    activated = dx.map_blocks(q.gelu, dtype=np.float64)
    probabilities = drows.map_blocks(lambda b: q.softmax(np.ascontiguousarray(b)), dtype=np.float64)
    labels = drows.map_blocks(nearest_centroid, centroids, drop_axis=1, dtype=np.int64)
    out: tuple[F64, F64, NDArray[np.int64]] = client.compute([activated, probabilities, labels], sync=True)
    return out


def data(n: int = 100_000, d: int = 8, k: int = 6) -> tuple[F64, F64, F64]:
    rng = np.random.default_rng(7)
    centers = rng.normal(0.0, 5.0, (k, d))
    rows = centers[rng.integers(0, k, n)] + rng.normal(0.0, 1.0, (n, d))
    centroids, _ = q.kmeans(rows[:5_000], k, 20, 1e-9)  # fitted on a sample, one call
    return rng.normal(size=n * 2), rows, np.asarray(centroids)


def main() -> None:
    x, rows, centroids = data()
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        t0 = time.perf_counter()
        activated, probabilities, labels = pipeline(client, x, rows, centroids, chunk=25_000)
        print(f"gelu, softmax and nearest centroid over {len(x):,} values and {len(rows):,} rows "
              f"in chunks on 2 workers: {time.perf_counter() - t0:.2f} s")
    assert np.array_equal(activated, q.gelu(x))
    assert np.array_equal(probabilities, q.softmax(rows))
    assert np.array_equal(labels, nearest_centroid(rows, centroids))
    print(f"same results as single calls; cluster sizes {np.bincount(labels).tolist()}")


if __name__ == "__main__":
    main()
