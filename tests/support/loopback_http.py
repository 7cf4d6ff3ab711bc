"""HTTP requests over loopback for the program-level Python tests."""

import http.client

ANSWER_TIMEOUT_S = 10


def http_get(port, path):
    """One GET over loopback; returns (status, headers as a dict, body)."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=ANSWER_TIMEOUT_S)
    try:
        connection.request("GET", path)
        response = connection.getresponse()
        return response.status, {k.lower(): v for k, v in response.getheaders()}, response.read()
    finally:
        connection.close()
