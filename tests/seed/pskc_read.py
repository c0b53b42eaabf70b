"""Reads a PSKC export file with python-pskc and prints what it holds as JSON.

Usage: /usr/bin/python3 pskc_read.py FILE [KEY_HEX]

With KEY_HEX the seeds are decrypted with that pre-shared key; the MAC of
each encrypted seed is also recomputed here over the IV and cipher text, so a
MAC over anything else is caught (python-pskc also accepts one over the
plain text). Exits non-zero when the file cannot be read or decrypted.
"""

import binascii
import hashlib
import hmac
import json
import sys

from pskc import PSKC
from pskc.key import EncryptedValue


def main():
    pskc = PSKC(sys.argv[1])
    if len(sys.argv) > 2:
        pskc.encryption.key = binascii.unhexlify(sys.argv[2])
    keys = []
    for key in pskc.keys:
        stored = getattr(key, '_secret', None)
        entry = {
            'id': key.id,
            'serial': key.serial,
            'manufacturer': key.manufacturer,
            'model': key.model,
            'algorithm': key.algorithm,
            'suite': key.algorithm_suite,
            'digits': key.response_length,
            'encoding': key.response_encoding,
            'time_offset': key.time_offset,
            'time_interval': key.time_interval,
            'encrypted': isinstance(stored, EncryptedValue),
            'secret': binascii.hexlify(key.secret).decode(),
        }
        if isinstance(stored, EncryptedValue):
            expected = hmac.new(pskc.mac.key, stored.cipher_value, hashlib.sha256).digest()
            entry['mac_over_iv_and_ciphertext'] = stored.mac_value == expected
            entry['iv'] = binascii.hexlify(stored.cipher_value[:16]).decode()
        keys.append(entry)
    json.dump({
        'key_name': pskc.encryption.key_name,
        'encryption_algorithm': pskc.encryption.algorithm,
        'mac_algorithm': pskc.mac.algorithm,
        'mac_key_length': len(pskc.mac.key) if pskc.mac.algorithm else 0,
        'keys': keys,
    }, sys.stdout)


if __name__ == '__main__':
    main()
