SELECT a.b, 'it''s', "q""q" FROM t; -- done
/* a /* b */ x */;
/
 / x/y 12.5 _x1 #tmp $1
/*/ still a comment */ 'open
line two of the string' ;
-- café, naïve: no line end