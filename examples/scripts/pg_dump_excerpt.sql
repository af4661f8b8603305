begin;
CREATE FUNCTION public.stamp() RETURNS trigger
    LANGUAGE plpgsql
    AS $_$
BEGIN
  NEW.changed := now();
  RETURN NEW;
END;
$_$;
CREATE TABLE public.book (id integer, title text, changed timestamp);
COPY public.book (id, title, changed) FROM stdin;
1	The Name of the Rose	\N
2	Ficciones	\N
\.
CREATE TRIGGER book_stamp BEFORE UPDATE ON public.book FOR EACH ROW EXECUTE FUNCTION public.stamp();
commit;

-- An excerpt of what pg_dump writes: a trigger function in a $_$ body, a
-- table with its rows as COPY data, and the trigger, in one transaction.
-- psql runs it as six statements; split it with both rule sets to see why
-- the native rules exist:
--   kxsql split --dialect postgres examples/scripts/pg_dump_excerpt.sql
--   kxsql split --dialect postgres --rules classic examples/scripts/pg_dump_excerpt.sql
