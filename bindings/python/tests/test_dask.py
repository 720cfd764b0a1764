"""quarn.dask on a local cluster of two worker processes against one process, and the bad
input that reaches the workers."""

import pytest

import quarn
import quarn.dask

distributed = pytest.importorskip("distributed")

LINES = {
    "a.txt": "error 17 here\r\nnothing\nerror 2, error 30\n\U0001F600 error 4\n",
    "b.txt": "no line break at the end: error 5",
    "c.txt": "",
}


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    root = tmp_path_factory.mktemp("corpus")
    for name, text in LINES.items():
        (root / name).write_bytes(text.encode("utf-8"))
    return root


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            yield client


def rows(frame):
    return [tuple(row) for row in frame.itertuples(index=False)]


def test_the_cluster_finds_the_rows_of_one_process(corpus, client):
    matches = quarn.dask.read_matches(str(corpus / "*.txt"), r"error (\d)(\d)?")
    assert matches.npartitions == 3
    single = matches.compute(scheduler="sync")
    assert rows(single) == [
        (str(corpus / "a.txt"), 1, 0, 8, "error 17", "1", "7"),
        (str(corpus / "a.txt"), 3, 0, 7, "error 2", "2", None),
        (str(corpus / "a.txt"), 3, 9, 17, "error 30", "3", "0"),
        (str(corpus / "a.txt"), 4, 2, 9, "error 4", "4", None),
        (str(corpus / "b.txt"), 1, 26, 33, "error 5", "5", None),
    ]
    assert rows(client.compute(matches).result()) == rows(single)
    counts = client.compute(quarn.dask.count_lines(
        [corpus / "a.txt", str(corpus / "[bc].txt")], "error")).result()
    assert rows(counts) == [(str(corpus / "a.txt"), 4, 3), (str(corpus / "b.txt"), 1, 1),
                            (str(corpus / "c.txt"), 0, 0)]


def test_bad_input_reaches_the_caller_from_the_workers(corpus, client, tmp_path):
    bad = tmp_path / "latin1.txt"
    bad.write_bytes(b"caf\xe9 error 1\n")
    with pytest.raises(ValueError, match=r"latin1.txt: not utf-8 at byte 3"):
        client.compute(quarn.dask.read_matches(bad, "error")).result()
    escaped = client.compute(quarn.dask.read_matches(bad, ".(error)", errors="surrogateescape"))
    assert rows(escaped.result()) == [(str(bad), 1, 4, 10, " error", "error")]
    assert rows(quarn.dask.count_lines(bad, "caf", encoding="latin-1").compute()) == [
        (str(bad), 1, 1)]
    deep = tmp_path / "deep.txt"
    deep.write_text("ok\n" + "a" * 600 + "\n")
    with pytest.raises(quarn.error, match=r"deep.txt:2: Error #20052") as raised:
        client.compute(quarn.dask.count_lines(deep, "a*b")).result()
    assert (raised.value.number, raised.value.kind) == (20052, quarn.ErrorKind.DEPTH_LIMIT)
    with pytest.raises(quarn.error, match="Upper limit is less than lower limit"):
        quarn.dask.read_matches(deep, "a{3,1}")  # before any file is read
    assert rows(quarn.dask.count_lines(deep, "a*b", depth=2000).compute()) == [(str(deep), 2, 0)]
    with pytest.raises(FileNotFoundError, match="nothing"):
        quarn.dask.read_matches(str(tmp_path / "nothing*"), "x")
    with pytest.raises(TypeError, match="deepth"):
        quarn.dask.read_matches(bad, "x", deepth=3)
