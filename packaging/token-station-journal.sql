-- The programming journal of a fleet of stations on PostgreSQL 15, with the
-- roles of a least-privilege set-up. Run once by the database's owner:
--   psql -v ON_ERROR_STOP=1 -d tokens -f token-station-journal.sql
-- then grant the roles to the login roles of the stations and the exporter:
--   CREATE ROLE station_pc12 LOGIN PASSWORD '...' IN ROLE token_station;
--   CREATE ROLE token_export LOGIN PASSWORD '...' IN ROLE token_exporter;
-- Stations connect with sslmode=verify-full; see journal/README.md.
BEGIN;
CREATE TABLE IF NOT EXISTS journal_schema (
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

-- Stations: insert attempts and finish them. They read every column but the
-- sealed seed, change only an attempt's outcome, and delete nothing.
DO $$ BEGIN
    CREATE ROLE token_station NOLOGIN;
EXCEPTION WHEN duplicate_object THEN NULL;
END $$;
REVOKE ALL ON journal_schema, attempts FROM token_station;
GRANT SELECT ON journal_schema TO token_station;
GRANT INSERT (time, reader, serial, settings, user_name, export_files, state, reason, station,
              writer_pid, writer_start, finished, sealed_seed) ON attempts TO token_station;
GRANT SELECT (id, time, reader, serial, settings, user_name, export_files, state, reason,
              station, writer_pid, writer_start, finished) ON attempts TO token_station;
GRANT UPDATE (state, reason, export_files, finished) ON attempts TO token_station;

-- The exporter: reads the journal and its sealed seeds; the private key that
-- opens them stays on the exporter's machine.
DO $$ BEGIN
    CREATE ROLE token_exporter NOLOGIN;
EXCEPTION WHEN duplicate_object THEN NULL;
END $$;
REVOKE ALL ON journal_schema, attempts FROM token_exporter;
GRANT SELECT ON journal_schema, attempts TO token_exporter;
COMMIT;
