#pragma once

// The tables of a fleet's journal on PostgreSQL, version 1, as a station
// creates them where its role may, inside its own transaction. The same
// text opens packaging/token-station-journal.sql, which adds the roles of a
// least-privilege set-up. A later version migrates from an administrator's
// tool, never from a station.
inline constexpr char kPostgresSchema[] = R"(CREATE TABLE IF NOT EXISTS journal_schema (
    version integer NOT NULL
);
CREATE TABLE IF NOT EXISTS attempts (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    time timestamptz NOT NULL,      -- when it began
    reader text NOT NULL,
    serial text NOT NULL,
    settings text NOT NULL,
    user_name text NOT NULL DEFAULT '',
    export_files text[] NOT NULL,
    state text NOT NULL
        CHECK (state IN ('writing', 'programmed', 'failed', 'interrupted')),
    reason text NOT NULL,
    station text NOT NULL,          -- the station that began it
    writer_pid integer NOT NULL,    -- its server connection: pg_backend_pid()
    writer_start timestamptz,       -- and that connection's backend_start
    finished timestamptz,           -- when its outcome was recorded
    sealed_seed bytea               -- CMS EnvelopedData (DER) to the fleet's certificate
);
-- One station at a time writes a token.
CREATE UNIQUE INDEX IF NOT EXISTS attempts_one_writer ON attempts (serial)
    WHERE state = 'writing';
CREATE INDEX IF NOT EXISTS attempts_by_serial ON attempts (serial, state, time);
CREATE INDEX IF NOT EXISTS attempts_by_time ON attempts (time);
INSERT INTO journal_schema (version)
    SELECT 1 WHERE NOT EXISTS (SELECT 1 FROM journal_schema);
)";
