CREATE FUNCTION add_one(integer) RETURNS integer AS $$
BEGIN
  RETURN $1 + 1; -- $ alone stays inside
END;
$$ LANGUAGE plpgsql;
CREATE FUNCTION empty() RETURNS void AS $$$$ LANGUAGE sql;
SELECT $tag$ not; special $tag$;
DO $$ BEGIN PERFORM 1; END $$;
