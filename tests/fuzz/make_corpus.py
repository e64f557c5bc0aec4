#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/seed-*.

Inputs that once broke a target are kept beside the seeds as corpus/<target>/crash-*
and are never rewritten here."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
MAGIC, VERSION = 0x594C5354, 1
TOKEN = 0x1122334455667788


def header(kind, payload, token=TOKEN, sequence=7):
    return struct.pack("<IHHQII", MAGIC, VERSION, kind, token, sequence, len(payload)) + payload


def text(value, width=64):
    return value.encode().ljust(width, b"\0")


def server_info(port=29170, multicast=0, frequency=10_000_000, name="Corvane simulator"):
    return struct.pack("<HBBQ", port, multicast, 0, frequency) + text(name) + text("Corvane") + bytes([3, 1, 0, 0])


def body(body_id, position, orientation=(0, 0, 0, 1), flags=1):
    return struct.pack("<i3f4ffH", body_id, *position, *orientation, 0.0005, flags)


def frame(bodies, number=1, mid=123_456_789, received=123_456_900, transmit=123_457_000, token=TOKEN):
    payload = struct.pack("<IQQQHH", number, mid, received, transmit, len(bodies), 0) + b"".join(bodies)
    return header(9, payload, token)


def datagrams():
    yield "probe", header(1, b"")
    yield "answer", header(2, server_info())
    yield "connect", header(3, bytes([1, 0]))
    yield "connect-answer", header(4, struct.pack("<i", 0) + server_info())
    yield "subscribe", header(5, b"SubscribeByID,RigidBody,3")
    yield "subscribe-all", header(5, b"SubscribeToData,AllTypes,None")
    yield "unsubscribe", header(5, b"UnsubscribeAll")
    yield "response", header(6, struct.pack("<iBB", 0, 1, 0) + struct.pack("<i", 0))
    yield "clock", header(7, struct.pack("<Q", 5_000_000_000))
    yield "clock-answer", header(8, struct.pack("<QQ", 5_000_000_000, 123_456_789))
    yield "frame", frame([body(3, (0, 1.6, 0)), body(4, (0.2, 1.1, -0.3)), body(5, (-0.2, 1.1, -0.3), flags=0)])
    yield "frame-empty", frame([])
    yield "disconnect", header(10, b"")


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "seed-" + name), "wb") as f:
        f.write(data)


def frame_chunk(count, mid_age_us, following_age_us, entries):
    entries = (entries + [bytes(40)] * 3)[:3]
    return struct.pack("<iii", count, mid_age_us, following_age_us) + b"".join(entries)


def record_entry(body_id, position, orientation=(0, 0, 0, 1), flags=1):
    return struct.pack("<i3f4ffHH", body_id, *position, *orientation, 0.0005, flags, 0)


def main():
    for name, data in datagrams():
        write("datagram_parser", name, data)
        # The peers fill in the token (bit 0) and the announced port (bit 1).
        write("client_datagrams", name, bytes([1]) + data)
        write("server_datagrams", name, data)
    write("discovery_replies", "answer", bytes([3]) + header(2, server_info()))
    write("discovery_replies", "answer-multicast", bytes([3]) + header(2, server_info(multicast=1)))
    write("discovery_replies", "answer-wrong-port", bytes([1]) + header(2, server_info(port=1)))
    write("discovery_replies", "other", bytes([3]) + header(4, struct.pack("<i", 0) + server_info()))

    walk = b""
    for i in range(12):
        t = i * 0.004
        head = record_entry(3, (0.1 * math.sin(t), 1.6, 0.05 * t), (0, math.sin(t / 2), 0, math.cos(t / 2)))
        hand = record_entry(4, (0.2, 1.1 + 0.01 * i, -0.3))
        walk += frame_chunk(2, 12_000, 0 if i % 3 else 11_000, [head, hand])
    write("frame_record", "walk", walk)
    write("frame_record", "untracked-and-duplicates",
          frame_chunk(3, 0, 9_000, [record_entry(3, (0, 1.6, 0), flags=0), record_entry(3, (0, 1.7, 0)),
                                    record_entry(4, (0, 0, 0), (0, 0, 0, 0))]))
    write("frame_record", "count-past-record", frame_chunk(0x7FFFFFFF, 12_000, 0, [record_entry(4, (1, 1, 1))]))
    write("frame_record", "future-exposure", frame_chunk(1, -5_000, 0, [record_entry(3, (0, 1.6, 0))]))

    def imu(calibration, samples):
        out = b"".join(struct.pack("<3f", *v) for v in calibration)
        for t, accel, gyro in samples:
            out += struct.pack("<d3d3dI4x", t, *accel, *gyro, 0)
        return out

    unit = [(0, 0, 0), (1, 1, 1), (0, 0, 0), (1, 1, 1)]
    steady = [(i * 0.001, (0.0, 9.81, 0.0), (0.001, -0.002, 0.01)) for i in range(120)]
    write("imu_samples", "steady", imu(unit, steady))
    write("imu_samples", "scaled", imu([(0.01, 0, 0), (2, 0.5, 1), (0, 0.1, 0), (0.5, 0.5, 2)],
                                       [(t, (a[0], a[1] / 0.5, a[2]), (g[0] / 2, g[1] / 0.5, g[2])) for t, a, g in steady]))
    write("imu_samples", "backwards",
          imu(unit, steady[:40] + [(0.01 + i * 0.001, (0.0, 9.81, 0.0), (0, 0, 0)) for i in range(40)]))
    write("imu_samples", "gap", imu(unit, steady[:40] + [(1.0 + i * 0.001, (0.0, 9.81, 0.0), (0, 0, 0)) for i in range(40)]))

    write("replay_lines", "session",
          b"# time,values\nparams,0.1,0.01,1e-8,1e-8\nbias,0,0,0,0,0,0\n" +
          b"".join(b"imu,%.3f,0,9.81,0,0.001,0,0.01\n" % (1 + i * 0.001) for i in range(30)) +
          b"opt,1.0105,0,1.6,0,0,0,0,1,1e-6,0.01,0\nopt,1.0205,0.001,1.6,0,0,0.001,0,1,1e-6,0.01,0\n")
    write("replay_lines", "malformed", b"imu,1.0,0,9.8\nopt,x\n")

    write("vrhost_settings", "driver",
          b'{"driver_halvex": {"tessalyRigidBodyIdHead": 3, "tessalyRigidBodyIdControllerA": 4,\n'
          b' "tessalyRigidBodyIdControllerB": 0, "trackingType": "Standard", "tessalyServerAddress": "127.0.0.1",\n'
          b' "tessalyUseMulticast": false, "recordRawData": true, "debugLevel": 1.5},\n'
          b' "TrackingOverrides": {"/devices/halvex/halvex-controller-a": "/devices/htc/vive_controllerLHR-AAAA"},\n'
          b' "steamvr": {"nested": {"a": [1, 2, null]}}}\n')
    write("vrhost_settings", "odd-types",
          b'{"driver_halvex": {"tessalyRigidBodyIdHead": 3000000000, "trackingType": 7, "debugLevel": "2",'
          b' "recordRawData": null, "tessalyServerAddress": "' + b"1" * 300 + b'"}}')


if __name__ == "__main__":
    main()
