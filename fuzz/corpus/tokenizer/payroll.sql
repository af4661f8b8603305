-- Payroll for an Oracle database: tables, a procedure with an IF block and a
-- FOR loop, a trigger, and an anonymous block, each closed by a `/` line.
-- Try: kxsql split --dialect oracle examples/scripts/payroll.sql

CREATE TABLE employee (
  id      NUMBER PRIMARY KEY,
  name    VARCHAR2(100) NOT NULL,
  grade   NUMBER(2) NOT NULL,
  salary  NUMBER(10, 2) NOT NULL
);

CREATE TABLE salary_history (
  employee_id NUMBER NOT NULL,
  old_salary  NUMBER(10, 2),
  new_salary  NUMBER(10, 2),
  changed_on  DATE DEFAULT SYSDATE
);

CREATE SEQUENCE employee_seq START WITH 1000;

/* The semicolons inside the procedure do not end it: the splitter follows
   BEGIN ... END, the IF ... END IF block and the FOR ... END LOOP loop. */
CREATE OR REPLACE PROCEDURE raise_salaries (p_percent IN NUMBER) AS
  v_count NUMBER := 0;
BEGIN
  FOR r IN (SELECT id, grade, salary FROM employee) LOOP
    IF r.grade >= 10 THEN
      UPDATE employee SET salary = salary * (1 + p_percent / 100) WHERE id = r.id;
    ELSIF r.grade >= 5 THEN
      UPDATE employee SET salary = salary * (1 + p_percent / 200) WHERE id = r.id;
    ELSE
      NULL; -- nothing for the junior grades
    END IF;
    v_count := v_count + 1;
  END LOOP;
  DBMS_OUTPUT.PUT_LINE('raised ' || v_count || ' salaries');
END;
/

CREATE OR REPLACE TRIGGER salary_audit
  AFTER UPDATE OF salary ON employee
  FOR EACH ROW
BEGIN
  INSERT INTO salary_history (employee_id, old_salary, new_salary)
  VALUES (:OLD.id, :OLD.salary, :NEW.salary);
END;
/

INSERT INTO employee (id, name, grade, salary)
VALUES (employee_seq.NEXTVAL, 'Grace Hopper', 12, 9100);

BEGIN
  raise_salaries(5);
  COMMIT;
END;
/

SELECT name, salary FROM employee ORDER BY salary DESC;
